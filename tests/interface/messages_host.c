/* A host written in plain C: loads the plug-in with dlopen, as the layout
 * application does, and checks the message functions. */
#include <dlfcn.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

#include "ebookpackager.h"

_Static_assert(sizeof(EpubOptions) == 20, "EpubOptions size");
_Static_assert(offsetof(EpubOptions, fixedLayout) == 4, "fixedLayout offset");
_Static_assert(offsetof(EpubOptions, reserved) == 8, "reserved offset");
_Static_assert(offsetof(EpubOptions, pageHeight) == 16, "pageHeight offset");

typedef uint16_t *(*GetErrorStringFunction)(uint32_t);
typedef void (*DeleteErrorStringFunction)(uint16_t *);
typedef int32_t (*PreRequisiteVerifierFunction)(void);

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

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s PLUGIN.so\n", argv[0]);
        return 2;
    }
    void *plugin = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (plugin == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    GetErrorStringFunction getErrorString = NULL;
    DeleteErrorStringFunction deleteErrorString = NULL;
    PreRequisiteVerifierFunction verifier = NULL;
    lookUp(plugin, "GetErrorString", &getErrorString, sizeof getErrorString);
    lookUp(plugin, "DeleteErrorString", &deleteErrorString, sizeof deleteErrorString);
    lookUp(plugin, "PreRequisiteVerifier", &verifier, sizeof verifier);
    check(getErrorString && deleteErrorString && verifier, "all message functions are exported");
    check(dlsym(plugin, "CreateEPubPackage") != NULL && dlsym(plugin, "CreateBlioPackage") != NULL,
          "both packaging entry points are exported");
    if (!getErrorString || !deleteErrorString || !verifier) return 1;

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

    /* Message 7 has no full stop: 50 code units and the terminating zero. */
    uint16_t *seven = getErrorString(7);
    size_t length = 0;
    while (seven[length] != 0) ++length;
    check(length == 50, "message 7 is 50 code units long");
    check(seven[length - 1] == 'r', "message 7 ends without a full stop");

    /* Every call hands out its own buffer. */
    uint16_t *again = getErrorString(7);
    check(again != seven && memcmp(again, seven, (length + 1) * sizeof(uint16_t)) == 0,
          "two calls give two buffers with the same text");
    deleteErrorString(seven);
    deleteErrorString(again);
    deleteErrorString(NULL);

    check(verifier() == 0 && verifier() == 0, "PreRequisiteVerifier always answers 0");

    dlclose(plugin);
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
