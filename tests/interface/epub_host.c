/* A host written in plain C: loads the plug-in with dlopen, as the layout
 * application does, and packages the sample export through CreateEPubPackage
 * with UTF-16 paths (relative to a scratch folder), checking each result code
 * of the run's checks. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <uchar.h>
#include <unistd.h>

#include "ebookpackager.h"

typedef uint32_t (*CreateEPubPackageFunction)(const uint16_t *, const uint16_t *, EpubOptions);

static int failures = 0;
static int checks = 0;

static void check(int condition, const char *what) {
    ++checks;
    if (!condition) {
        ++failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

static int shell(const char *format, const char *argument) {
    char command[8192];
    if (snprintf(command, sizeof command, format, argument, argument) >= (int)sizeof command) return -1;
    return system(command);
}

/* The archive starts with the stored "mimetype" entry and its bytes. */
static int isEpub(const char *file) {
    char head[58];
    FILE *in = fopen(file, "rb");
    if (in == NULL) return 0;
    size_t got = fread(head, 1, sizeof head, in);
    fclose(in);
    return got == sizeof head && memcmp(head, "PK\3\4", 4) == 0 && head[8] == 0 && head[9] == 0 &&
           memcmp(head + 30, "mimetypeapplication/epub+zip", 28) == 0;
}

static CreateEPubPackageFunction load(const char *library, void **plugin) {
    CreateEPubPackageFunction create = NULL;
    *plugin = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void *address = *plugin ? dlsym(*plugin, "CreateEPubPackage") : NULL;
    if (address != NULL) memcpy(&create, &address, sizeof create);
    return create;
}

static int exists(const char *file) {
    struct stat info;
    return stat(file, &info) == 0;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s PLUGIN.so REPOSITORY\n", argv[0]);
        return 2;
    }
    char scratch[] = "/tmp/epub-host-XXXXXX";
    if (mkdtemp(scratch) == NULL || chdir(scratch) != 0) return 2;
    mkdir("tmp", 0700);
    setenv("TMPDIR", "tmp", 1);

    /* The sample export, with its asset list naming the copy's media. */
    shell("cp -R '%s/examples/epub-book' export", argv[2]);
    shell("sed \"s|@EXPORT@|$PWD/export|g\" export/AssetList.xml.in > export/AssetList.xml", "");

    void *plugin = NULL;
    CreateEPubPackageFunction create = load(argv[1], &plugin);
    check(create != NULL, "CreateEPubPackage is exported");
    if (create == NULL) return 1;

    EpubOptions options;
    memset(&options, 0, sizeof options);
    options.epubVersion = 3;
    options.pageWidth = 600;
    options.pageHeight = 800;
#define U16(text) ((const uint16_t *)u##text)

    /* Non-ASCII names travel through UTF-16 intact. */
    check(create(U16("export"), U16("Bücher/Livre d’été"), options) == 0, "a good export gives 0");
    check(isEpub("Bücher/Livre d’été.epub"), "the book is written under its name");
    check(!exists("tmp/TavrinEpubTemp"), "the workspace is removed");

    shell("touch file", "");
    check(create(U16("missing"), U16("file/sub/Book"), options) == 1, "an unwritable destination gives 1");
    check(create(U16("export"), NULL, options) == 1, "a null destination gives 1");
    check(create(U16("missing"), U16("out/Book"), options) == 5, "a missing source gives 5");
    check(create(NULL, U16("out/Book"), options) == 5, "a null source gives 5");
    mkdir("empty", 0755);
    check(create(U16("empty"), U16("out/Book"), options) == 13, "no OEBPS folder gives 13");
    mkdir("empty/OEBPS", 0755);
    shell("touch empty/OEBPS/flow_0.xhtml", "");
    check(create(U16("empty"), U16("out/Book"), options) == 14, "no Flow_ page gives 14");
    setenv("TMPDIR", "file", 1);
    check(create(U16("export"), U16("out/Book"), options) == 10, "a temporary folder that is a file gives 10");
    setenv("TMPDIR", "tmp", 1);

    /* Copies of the plug-in whose bundles lack resources. */
    shell("mkdir -p bare types/Resources && cp '%s' bare/plugin.so && cp '%s' types/plugin.so", argv[1]);
    shell("cp '%s/Resources/MediaTypes.xml' types/Resources/", argv[2]);
    void *bare = NULL;
    void *types = NULL;
    char path[4096];
    CreateEPubPackageFunction bareCreate = load(realpath("bare/plugin.so", path), &bare);
    CreateEPubPackageFunction typesCreate = load(realpath("types/plugin.so", path), &types);
    check(bareCreate && bareCreate(U16("export"), U16("out/Book"), options) == 3, "no MediaTypes.xml gives 3");
    check(typesCreate && typesCreate(U16("export"), U16("out/Book"), options) == 7, "no templates give 7");
    check(!exists("out/Book.epub"), "failed runs write no book");

    if (bare) dlclose(bare);
    if (types) dlclose(types);
    dlclose(plugin);
    if (chdir("/") == 0) shell("rm -rf '%s'", scratch);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
