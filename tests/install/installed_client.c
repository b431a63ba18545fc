/* A program built against the installed library, as another project would
 * build it: links it directly, finds the header and the library through
 * pkg-config or find_package, and packages an export.
 *
 *     installed_client EXPORT DEST     (ASCII paths; writes DEST.epub) */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "ebookpackager.h"

/* ASCII widens unit by unit; that is all the test's paths need. */
static uint16_t *widen(const char *text) {
    size_t length = strlen(text);
    uint16_t *units = calloc(length + 1, sizeof *units);
    if (units == NULL) exit(2);
    for (size_t i = 0; i < length; ++i) units[i] = (unsigned char)text[i];
    return units;
}

static int isMessage(const uint16_t *units, const char *expected) {
    size_t i = 0;
    for (; expected[i] != '\0'; ++i)
        if (units[i] != (uint16_t)(unsigned char)expected[i]) return 0;
    return units[i] == 0;
}

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s EXPORT DEST\n", argv[0]);
        return 2;
    }
    uint16_t *message = GetErrorString(EBOOKPACKAGER_SOURCE_NOT_FOLDER);
    int messageOk = message != NULL &&
                    isMessage(message, "Source is not a valid folder, please specify path of source folder.");
    DeleteErrorString(message);
    if (!messageOk) {
        fprintf(stderr, "GetErrorString gave the wrong message\n");
        return 1;
    }

    EpubOptions options = {.epubVersion = 3, .pageWidth = 600, .pageHeight = 800};
    uint16_t *source = widen(argv[1]);
    uint16_t *destination = widen(argv[2]);
    uint32_t code = CreateEPubPackage(source, destination, options);
    free(source);
    free(destination);
    if (code != EBOOKPACKAGER_OK) {
        fprintf(stderr, "CreateEPubPackage returned %u\n", (unsigned)code);
        return 1;
    }

    char book[4096];
    struct stat info;
    snprintf(book, sizeof book, "%s.epub", argv[2]);
    if (stat(book, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) {
        fprintf(stderr, "no book at %s\n", book);
        return 1;
    }
    return 0;
}
