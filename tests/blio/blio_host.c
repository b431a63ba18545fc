/* A host written in plain C: loads the plug-in with dlopen, as the layout
 * application does, and packages the sample Blio export through
 * CreateBlioPackage with UTF-16 paths (relative to a scratch folder), checking
 * the result code of each of the run's checks and that a failing check leaves
 * the export as it was. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ebookpackager.h"

typedef uint32_t (*CreateBlioPackageFunction)(const uint16_t *, const uint16_t *);

static int failures = 0;

static void expectCode(uint32_t got, uint32_t expected, const char *what) {
    if (got != expected) {
        ++failures;
        fprintf(stderr, "FAILED: %s: got %u, expected %u\n", what, (unsigned)got, (unsigned)expected);
    }
}

static void expect(int condition, const char *what) {
    if (!condition) {
        ++failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

/* ASCII paths are all this host needs. */
static const uint16_t *utf16(const char *text) {
    static uint16_t buffers[2][4096];
    static int next = 0;
    uint16_t *buffer = buffers[next];
    next = 1 - next;
    size_t i = 0;
    for (; text[i] != '\0' && i + 1 < sizeof buffers[0] / sizeof buffers[0][0]; ++i) buffer[i] = (unsigned char)text[i];
    buffer[i] = 0;
    return buffer;
}

static int exists(const char *file) {
    struct stat info;
    return stat(file, &info) == 0;
}

/* 0 when the two folders hold the same files with the same bytes. */
static int sameTree(const char *a, const char *b) {
    char command[8192];
    snprintf(command, sizeof command, "diff -r '%s' '%s' >/dev/null", a, b);
    return system(command) == 0;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s PLUGIN.so REPOSITORY\n", argv[0]);
        return 2;
    }
    char scratch[] = "/tmp/blio-host-XXXXXX";
    if (mkdtemp(scratch) == NULL || chdir(scratch) != 0) return 2;
    mkdir("tmp", 0700);
    setenv("TMPDIR", "tmp", 1);

    char command[8192];
    snprintf(command, sizeof command,
             "cp -R '%s/examples/blio-book' export && "
             "sed \"s|@EXPORT@|$PWD/export|g\" export/AssetList.xml.in > export/AssetList.xml && "
             "rm export/AssetList.xml.in && cp -R export pristine && echo blocker > blocker",
             argv[2]);
    if (system(command) != 0) return 2;

    void *plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    void *address = plugin ? dlsym(plugin, "CreateBlioPackage") : NULL;
    CreateBlioPackageFunction create = NULL;
    if (address != NULL) memcpy(&create, &address, sizeof create);
    expect(create != NULL, "CreateBlioPackage is exported");
    if (create == NULL) return 1;

    expectCode(create(utf16("export"), utf16("blocker/Book")), EBOOKPACKAGER_DESTINATION_NOT_WRITABLE,
               "destination below a file");
    expectCode(create(utf16("missing"), utf16("out/Book")), EBOOKPACKAGER_SOURCE_NOT_FOLDER, "missing source");
    expectCode(create(utf16("blocker"), utf16("out/Book")), EBOOKPACKAGER_SOURCE_NOT_FOLDER, "source is a file");
    expect(exists("out") && !exists("out/dummyfolder"), "the probe makes the destination folder and leaves no probe");

    rename("export/AssetList.xml", "AssetList.xml");
    expectCode(create(utf16("export"), utf16("out/Book")), EBOOKPACKAGER_ASSET_LIST_MISSING, "no asset list");
    rename("AssetList.xml", "export/AssetList.xml");

    rename("export/blio-book.xps", "export/blio-book.XPS");
    expectCode(create(utf16("export"), utf16("out/Book")), EBOOKPACKAGER_XPS_MISSING, "no .xps file");
    rename("export/blio-book.XPS", "export/blio-book.xps");

    FILE *in_the_way = fopen("tmp/BlioTemp", "w");
    if (in_the_way != NULL) fclose(in_the_way);
    expectCode(create(utf16("export"), utf16("out/Book")), EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE,
               "a file where the workspace goes");
    remove("tmp/BlioTemp");
    expect(sameTree("export", "pristine"), "failed checks leave the export as it was");
    expect(!exists("out/Book.xps"), "failed checks deliver nothing");

    expectCode(create(utf16("export"), utf16("out/Book")), EBOOKPACKAGER_OK, "the sample export");
    expect(exists("out/Book.xps"), "the package is delivered");
    expect(!exists("tmp/BlioTemp"), "the workspace is removed");

    dlclose(plugin);
    snprintf(command, sizeof command, "rm -rf '%s'", scratch);
    if (failures == 0 && system(command) != 0) return 2;
    return failures == 0 ? 0 : 1;
}
