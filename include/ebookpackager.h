/*
 * ebookpackager: turns a page-layout export folder into an ePub or a Blio
 * package. Plain C, usable from C and C++.
 *
 * Strings are NUL-terminated UTF-16 in the machine's byte order. A null string
 * pointer is treated as an empty path. No function keeps a pointer it was given.
 */
#ifndef EBOOKPACKAGER_H
#define EBOOKPACKAGER_H

#include <stdint.h>

#if defined(_WIN32)
#define EBOOKPACKAGER_API __declspec(dllexport)
#else
#define EBOOKPACKAGER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The host's ePub settings, passed by value. Field order and widths are part
 * of the host interface and must not change. */
typedef struct EpubOptions {
    uint32_t epubVersion;   /* 2 or 3 */
    int16_t fixedLayout;    /* 0 reflowable, anything else fixed layout */
    uint16_t layoutVariant; /* 2 records the page size as the original resolution */
    uint16_t reserved;      /* not read */
    uint16_t orientation;   /* 1 landscape, 2 portrait, else automatic */
    uint16_t spreadMode;    /* 1 none, 2 first page left, 3 blank page then right, else auto */
    uint16_t pageWidth;     /* CSS pixels */
    uint16_t pageHeight;    /* CSS pixels */
} EpubOptions;

/* Result codes: 0 is success; GetErrorString gives the message of any code. */
enum {
    EBOOKPACKAGER_OK = 0,
    EBOOKPACKAGER_DESTINATION_NOT_WRITABLE = 1,
    EBOOKPACKAGER_ASSET_LIST_MISSING = 2,
    EBOOKPACKAGER_MEDIA_TYPES_MISSING = 3,
    EBOOKPACKAGER_XPS_MISSING = 4,
    EBOOKPACKAGER_SOURCE_NOT_FOLDER = 5,
    EBOOKPACKAGER_CANNOT_MODIFY_PACKAGE = 6,
    EBOOKPACKAGER_TEMPLATES_MISSING = 7,
    EBOOKPACKAGER_CANNOT_INITIALIZE = 8,
    EBOOKPACKAGER_CANNOT_REMOVE_WORKSPACE = 9,
    EBOOKPACKAGER_CANNOT_CREATE_WORKSPACE = 10,
    EBOOKPACKAGER_REFLOW_FOLDER_MISSING = 13,
    EBOOKPACKAGER_REFLOW_FILES_MISSING = 14,
    EBOOKPACKAGER_LAST_RESULT = EBOOKPACKAGER_REFLOW_FILES_MISSING /* the highest code in use */
};

/* Packages the export folder `source` as an ePub at `destination` (".epub" is
 * appended when the name does not end in it). Returns a result code. */
EBOOKPACKAGER_API uint32_t CreateEPubPackage(const uint16_t *source, const uint16_t *destination,
                                             EpubOptions options);

/* Updates the XPS file of the export folder `source` with its enhanced content
 * and copies it to `destination` (".xps" is appended when missing). Returns a
 * result code. */
EBOOKPACKAGER_API uint32_t CreateBlioPackage(const uint16_t *source, const uint16_t *destination);

/* Returns a new NUL-terminated UTF-16 buffer holding the message of `code`
 * ("Incorrect error code!" for an unknown code); null only when memory is
 * exhausted. The caller owns it and releases it with DeleteErrorString. */
EBOOKPACKAGER_API uint16_t *GetErrorString(uint32_t code);

/* Releases a buffer returned by GetErrorString. A null pointer does nothing. */
EBOOKPACKAGER_API void DeleteErrorString(uint16_t *message);

/* Always returns 0: the library needs nothing the host must check first. */
EBOOKPACKAGER_API int32_t PreRequisiteVerifier(void);

#ifdef __cplusplus
}
#endif

#endif
