#ifndef KORVEX_KORVEX_H
#define KORVEX_KORVEX_H

/* libkorvex: Data Matrix (ECC200) symbols in process, through the same road as the web
   interface (the same parameter rules, encoder, geometry and writers). A C99 interface, also
   usable from C++; include/korvex/korvex.hpp puts typed C++ classes over it.

     korvex_encode_options options;
     korvex_symbol* symbol = NULL;
     korvex_encode_options_init(&options);
     if (korvex_encode("Hello", 5, &options, &symbol) == KORVEX_OK) {
       korvex_drawing_options drawing;
       unsigned char* png = NULL;
       size_t size = 0;
       korvex_drawing_options_init(&drawing);
       if (korvex_write_png(symbol, &drawing, &png, &size, NULL) == KORVEX_OK) { ... }
       korvex_free(png);
     }
     korvex_symbol_free(symbol);

   Results: every call that can fail returns a result code, KORVEX_OK (0) or the code of the
   step that failed (the numbers of the web interface, 1 to 14). Its message and the detail of
   what exactly failed come from the object that failed: the symbol that could not be encoded,
   the error object of a writer, the answer of korvex_render. There is no global error state,
   and no C++ exception leaves the library (exhausted memory is KORVEX_ERROR_UNKNOWN_EXCEPTION).

   Threads: every call may run on several threads at once. Handles are immutable once made, so
   one handle may be read (and drawn) by several threads at the same time; only freeing a
   handle must wait until no other thread uses it.

   Memory: handles are freed with their own free function, buffers that the library returns
   with korvex_free; all of them accept NULL. */

#include <stddef.h>
#include <stdint.h>

#include "korvex/export.h"
#include "korvex/version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes: the exit status of the web program for the same failure. */
#define KORVEX_OK 0
#define KORVEX_ERROR_INVALID_ARGUMENT 1      /* an option outside its range, a NULL argument */
#define KORVEX_ERROR_FAIL 2
#define KORVEX_ERROR_IMAGE 3                 /* the image is too large, or could not be written */
#define KORVEX_ERROR_INVALID_SIZE 4          /* the symbol does not fit the image size */
#define KORVEX_ERROR_INVALID_DATA 5
#define KORVEX_ERROR_INVALID_MODE 6
#define KORVEX_ERROR_INVALID_FORMAT 7
#define KORVEX_ERROR_NO_FITTING_FORMAT 8
#define KORVEX_ERROR_REED_SOLOMON 9
#define KORVEX_ERROR_DATA_DOES_NOT_FIT 10
#define KORVEX_ERROR_UNKNOWN_EXCEPTION 14

/* How the bytes given to korvex_encode are read. */
#define KORVEX_INPUT_BYTES 0  /* every byte is data, NUL and '~' included */
#define KORVEX_INPUT_TILDE 1  /* tilde escapes as in the web parameter data (~1 is FNC1, ...) */
#define KORVEX_INPUT_GS1 2    /* GS1 element strings in bracket form, (01)09501101530003 */
#define KORVEX_INPUT_UTF8 3   /* UTF-8 text, marked with ECI 26 when it holds non-ASCII */
#define KORVEX_INPUT_GS1_DIGITAL_LINK 4  /* a GS1 Digital Link URI, checked against the GS1 Syntax
                                            Dictionary and encoded exactly as given, as plain data */

/* Which formats the automatic choice tries. */
#define KORVEX_SHAPE_SQUARE 0
#define KORVEX_SHAPE_RECTANGLE 1
#define KORVEX_SHAPE_ANY 2

/* Encodation schemes (mode); 0 switches between them automatically. */
#define KORVEX_MODE_AUTO 0
#define KORVEX_MODE_ASCII 1
#define KORVEX_MODE_C40 2
#define KORVEX_MODE_TEXT 3
#define KORVEX_MODE_BASE256 4
#define KORVEX_MODE_EDIFACT 5
#define KORVEX_MODE_X12 6

/* Placement of the symbol in an image larger than it needs. */
#define KORVEX_ALIGN_START 0   /* left, or top */
#define KORVEX_ALIGN_CENTER 1
#define KORVEX_ALIGN_END 2     /* right, or bottom */

/* What korvex_encode reads besides the data; korvex_encode_options_init sets the defaults. */
typedef struct korvex_encode_options {
  int32_t input;          /* KORVEX_INPUT_*; default KORVEX_INPUT_BYTES */
  int32_t gs1_separator;  /* with KORVEX_INPUT_GS1, non-zero: GS instead of FNC1 between element
                             strings (the web's gssep) */
  int32_t format;         /* 0: the smallest format of the shape that holds the data; 1..30 the
                             ECC200 formats, 31..48 the DMRE formats (with dmre) */
  int32_t shape;          /* KORVEX_SHAPE_*; default KORVEX_SHAPE_SQUARE */
  int32_t dmre;           /* non-zero: the DMRE rectangles join the choice */
  int32_t mode;           /* KORVEX_MODE_*; default KORVEX_MODE_AUTO */
  int32_t minimal;        /* non-zero: the shortest encodation (with KORVEX_MODE_AUTO) */
  const char* digital_link_stem;  /* with KORVEX_INPUT_GS1: NULL encodes the element strings; a
                                     stem such as "https://example.com/products" (or "1" for
                                     https://id.gs1.org) encodes their canonical GS1 Digital Link
                                     URI at it instead (the web's dl); read during the call only */
} korvex_encode_options;

/* How a writer draws a symbol; korvex_drawing_options_init sets the defaults. */
typedef struct korvex_drawing_options {
  int32_t module_size;  /* pixels per module, 1 or more; default 5. Used when neither width
                           nor height is given. */
  int32_t width;        /* image width in pixels, 1..699, the symbol fitted into it; 0: none */
  int32_t height;       /* image height in pixels, 1..699; 0: none. Given one of width and
                           height, the other is 100, as on the web. */
  int32_t quiet_zone;   /* light margin around the symbol in modules, 0 or more; default 1 */
  uint32_t foreground;  /* colour of dark modules, 0xRRGGBB; default 0x000000 */
  uint32_t background;  /* colour of the rest, 0xRRGGBB; default 0xFFFFFF */
  int32_t angle;        /* clockwise rotation: 0, 90, 180 or 270 */
  int32_t align_h;      /* KORVEX_ALIGN_*; default KORVEX_ALIGN_CENTER */
  int32_t align_v;      /* KORVEX_ALIGN_*; default KORVEX_ALIGN_CENTER */
  int32_t dpi;          /* resolution written into the image, 1..4800; 0: none */
} korvex_drawing_options;

/* A parameter of the web interface by its name (data, w, h, fmt, ...), value as given. */
typedef struct korvex_parameter {
  const char* name;
  const char* value;
} korvex_parameter;

typedef struct korvex_symbol korvex_symbol;  /* an encoded symbol, or the failure to encode */
typedef struct korvex_error korvex_error;    /* why a writer failed */
typedef struct korvex_answer korvex_answer;  /* the web program's answer to parameters */

/* The library's version, e.g. "2.0.0": that of the library loaded, where the macros of
   korvex/version.h give that of the headers. */
KORVEX_EXPORT const char* korvex_version(void);

/* The fixed message of a result code, e.g. "Error: Invalid barcode size."; never NULL. */
KORVEX_EXPORT const char* korvex_message(int32_t code);

/* Frees a buffer that the library returned; NULL is ignored. */
KORVEX_EXPORT void korvex_free(void* buffer);

KORVEX_EXPORT void korvex_encode_options_init(korvex_encode_options* options);
KORVEX_EXPORT void korvex_drawing_options_init(korvex_drawing_options* options);

/* Encodes size bytes of data (NULL options: the defaults). *symbol receives the symbol, or,
   when the encoding failed, a symbol that holds only the failure (code, message and detail);
   NULL only when not even that could be made. The caller frees it with korvex_symbol_free. */
KORVEX_EXPORT int32_t korvex_encode(const void* data, size_t size, const korvex_encode_options* options,
                                    korvex_symbol** symbol);

/* Encodes what the web parameters data, fmt, mode, shape, dmre, gs1, gssep and utf8 ask for, read
   by the web's rules (defaults for values out of range, tilde escapes in data). */
KORVEX_EXPORT int32_t korvex_encode_parameters(const korvex_parameter* parameters, size_t count,
                                               korvex_symbol** symbol);

KORVEX_EXPORT void korvex_symbol_free(korvex_symbol* symbol);
KORVEX_EXPORT int32_t korvex_symbol_code(const korvex_symbol* symbol);
KORVEX_EXPORT const char* korvex_symbol_message(const korvex_symbol* symbol);
/* What exactly failed where the code alone does not say (e.g. a GS1 check digit), else "". */
KORVEX_EXPORT const char* korvex_symbol_detail(const korvex_symbol* symbol);
/* Size in modules, without quiet zone; 0 after a failure. */
KORVEX_EXPORT int32_t korvex_symbol_rows(const korvex_symbol* symbol);
KORVEX_EXPORT int32_t korvex_symbol_cols(const korvex_symbol* symbol);
/* The module at row (0 at the top) and col (0 at the left), unrotated: 1 dark, 0 light, -1
   outside the symbol. */
KORVEX_EXPORT int32_t korvex_symbol_module(const korvex_symbol* symbol, int32_t row, int32_t col);
/* All modules, rows * cols bytes row after row (1 dark, 0 light), owned by the symbol. */
KORVEX_EXPORT const uint8_t* korvex_symbol_modules(const korvex_symbol* symbol);
/* The format id (1..30, 31..48 DMRE) of the symbol; 0 after a failure. */
KORVEX_EXPORT int32_t korvex_symbol_format(const korvex_symbol* symbol);
/* Data codewords the data took (before padding), and how many the format holds. */
KORVEX_EXPORT int32_t korvex_symbol_data_codewords(const korvex_symbol* symbol);
KORVEX_EXPORT int32_t korvex_symbol_capacity(const korvex_symbol* symbol);

/* Writers: the symbol drawn by the options (NULL: the defaults) as a 24-bit PNG, a compact PNG
   (1 bit per pixel, without text or time chunks) or an SVG document. On success *bytes holds
   *size bytes that the caller frees with korvex_free. On failure *bytes is NULL and, when error
   is not NULL, *error receives why (freed with korvex_error_free). */
KORVEX_EXPORT int32_t korvex_write_png(const korvex_symbol* symbol, const korvex_drawing_options* options,
                                       unsigned char** bytes, size_t* size, korvex_error** error);
KORVEX_EXPORT int32_t korvex_write_compact_png(const korvex_symbol* symbol, const korvex_drawing_options* options,
                                               unsigned char** bytes, size_t* size, korvex_error** error);
KORVEX_EXPORT int32_t korvex_write_svg(const korvex_symbol* symbol, const korvex_drawing_options* options,
                                       unsigned char** bytes, size_t* size, korvex_error** error);

KORVEX_EXPORT void korvex_error_free(korvex_error* error);
KORVEX_EXPORT int32_t korvex_error_code(const korvex_error* error);
KORVEX_EXPORT const char* korvex_error_message(const korvex_error* error);
KORVEX_EXPORT const char* korvex_error_detail(const korvex_error* error);

/* Exactly what the web program answers to the parameters (help and debug included): *answer
   receives it (NULL only when memory ran out), freed with korvex_answer_free. Values are taken
   as given, without URL decoding; of a name given twice the first counts. Returns the answer's
   code. */
KORVEX_EXPORT int32_t korvex_render(const korvex_parameter* parameters, size_t count, korvex_answer** answer);

KORVEX_EXPORT void korvex_answer_free(korvex_answer* answer);
/* The code of the step that failed, or 0, as korvex_render returned it; and its message. */
KORVEX_EXPORT int32_t korvex_answer_code(const korvex_answer* answer);
KORVEX_EXPORT const char* korvex_answer_message(const korvex_answer* answer);
KORVEX_EXPORT const char* korvex_answer_detail(const korvex_answer* answer);
/* The web program's exit status. */
KORVEX_EXPORT int32_t korvex_answer_status(const korvex_answer* answer);
/* "image/png", "image/svg+xml", "text/html"; "" when the web program writes nothing. */
KORVEX_EXPORT const char* korvex_answer_content_type(const korvex_answer* answer);
/* The body, owned by the answer; *size receives its length. */
KORVEX_EXPORT const unsigned char* korvex_answer_body(const korvex_answer* answer, size_t* size);

#ifdef __cplusplus
}  /* extern "C" */
#endif

/* C++17 users of the web-parameter API (korvex::Render, korvex::EncodeMatrix) keep it with this
   header; KORVEX_C_API_ONLY (or an older C++) leaves the C++ classes out. */
#if defined(__cplusplus) && __cplusplus >= 201703L && !defined(KORVEX_C_API_ONLY)
#include "korvex/korvex.hpp"
#endif

#endif
