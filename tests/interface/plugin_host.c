/* A host written in plain C: loads the plug-in with dlopen, as the layout
 * application does, checks the message functions and packages the sample
 * export through CreateEPubPackage with UTF-16 paths (relative to a scratch
 * folder). The runs' other result codes are the golden tier's. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <uchar.h>
#include <unistd.h>

#include "ebookpackager.h"

_Static_assert(sizeof(EpubOptions) == 20, "EpubOptions size");
_Static_assert(offsetof(EpubOptions, fixedLayout) == 4, "fixedLayout offset");
_Static_assert(offsetof(EpubOptions, reserved) == 8, "reserved offset");
_Static_assert(offsetof(EpubOptions, pageHeight) == 16, "pageHeight offset");

typedef uint16_t *(*GetErrorStringFunction)(uint32_t);
typedef void (*DeleteErrorStringFunction)(uint16_t *);
typedef int32_t (*PreRequisiteVerifierFunction)(void);
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

/* The messages are ASCII, so each code unit must equal the expected byte. */
static int equals(const uint16_t *units, const char *expected) {
    size_t i = 0;
    for (; expected[i] != '\0'; ++i)
        if (units[i] != (uint16_t)(unsigned char)expected[i]) return 0;
    return units[i] == 0;
}

static const struct {
    uint32_t code;
    const char *message;
} expected[] = {
    {1, "Unable to write to destination folder, cannot proceed with packaging."},
    {2, "AssetList.xml file is missing inside the folder, cannot proceed with packaging."},
    {3, "MediaTypes.xml file is missing in the Epub Packager."},
    {4, "xps file is missing inside the folder, cannot proceed with packaging."},
    {5, "Source is not a valid folder, please specify path of source folder."},
    {6, "Unable to modify package."},
    {7, "'Templates' folder is missing in the Blio Packager"},
    {8, "Unable to initialize components, cannot proceed with packaging."},
    {9, "Unable to remove BlioTemp folder in user temp folder."},
    {10, "Unable to create BlioTemp folder in user temp folder."},
    {13, "Unable to create ePub as reflow folder is missing."},
    {14, "Unable to create epub as reflow files are missing."},
};

/* ISO C has no cast from the object pointer dlsym returns to a function
 * pointer; copying the bytes is the portable POSIX idiom. */
static void lookUp(void *plugin, const char *name, void *function, size_t size) {
    void *address = dlsym(plugin, name);
    if (address != NULL) memcpy(function, &address, size);
}

static void checkMessages(void *plugin) {
    GetErrorStringFunction getErrorString = NULL;
    DeleteErrorStringFunction deleteErrorString = NULL;
    PreRequisiteVerifierFunction verifier = NULL;
    lookUp(plugin, "GetErrorString", &getErrorString, sizeof getErrorString);
    lookUp(plugin, "DeleteErrorString", &deleteErrorString, sizeof deleteErrorString);
    lookUp(plugin, "PreRequisiteVerifier", &verifier, sizeof verifier);
    check(getErrorString && deleteErrorString && verifier, "all message functions are exported");
    if (!getErrorString || !deleteErrorString || !verifier) return;

    for (size_t i = 0; i < sizeof expected / sizeof expected[0]; ++i) {
        uint16_t *message = getErrorString(expected[i].code);
        check(message != NULL && equals(message, expected[i].message), expected[i].message);
        deleteErrorString(message);
    }
    const uint32_t unknown[] = {0, 11, 12, 15, 0xFFFFFFFFu};
    for (size_t i = 0; i < sizeof unknown / sizeof unknown[0]; ++i) {
        uint16_t *message = getErrorString(unknown[i]);
        check(message != NULL && equals(message, "Incorrect error code!"), "unknown codes share one message");
        deleteErrorString(message);
    }

    /* Every call hands out its own buffer. */
    uint16_t *seven = getErrorString(7);
    uint16_t *again = getErrorString(7);
    check(again != seven && equals(again, expected[6].message), "two calls give two buffers with the same text");
    deleteErrorString(seven);
    deleteErrorString(again);
    deleteErrorString(NULL);

    check(verifier() == 0 && verifier() == 0, "PreRequisiteVerifier always answers 0");
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

static int exists(const char *file) {
    struct stat info;
    return stat(file, &info) == 0;
}

static void checkEpubRuns(void *plugin, const char *repository) {
    CreateEPubPackageFunction create = NULL;
    lookUp(plugin, "CreateEPubPackage", &create, sizeof create);
    check(create != NULL && dlsym(plugin, "CreateBlioPackage") != NULL, "both packaging entry points are exported");
    if (create == NULL) return;

    char scratch[] = "/tmp/plugin-host-XXXXXX";
    if (mkdtemp(scratch) == NULL || chdir(scratch) != 0) return;
    mkdir("tmp", 0700);
    setenv("TMPDIR", "tmp", 1);
    /* The sample export, with its asset list naming the copy's media. */
    shell("cp -R '%s/examples/epub-book' export", repository);
    shell("sed \"s|@EXPORT@|$PWD/export|g\" export/AssetList.xml.in > export/AssetList.xml", "");

    EpubOptions options;
    memset(&options, 0, sizeof options);
    options.epubVersion = 3;
#define U16(text) ((const uint16_t *)u##text)
    /* Non-ASCII names travel through UTF-16 intact. */
    check(create(U16("export"), U16("Bücher/Livre d’été"), options) == 0, "a good export gives 0");
    check(isEpub("Bücher/Livre d’été.epub"), "the book is written under its name");
    check(!exists("tmp/TavrinEpubTemp"), "the workspace is removed");
    check(create(U16("export"), NULL, options) == 1, "a null destination gives 1");
    check(create(NULL, U16("out/Book"), options) == 5, "a null source gives 5");
    check(!exists("out"), "failed runs write nothing");

    if (chdir("/") == 0) shell("rm -rf '%s'", scratch);
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s PLUGIN.so REPOSITORY\n", argv[0]);
        return 2;
    }
    void *plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (plugin == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    checkMessages(plugin);
    checkEpubRuns(plugin, argv[2]);
    dlclose(plugin);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
