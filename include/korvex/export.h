#ifndef KORVEX_EXPORT_H
#define KORVEX_EXPORT_H

/* Marks what libkorvex exports; everything else in the library is hidden. */
#if defined(__GNUC__)
#define KORVEX_EXPORT __attribute__((visibility("default")))
#else
#define KORVEX_EXPORT
#endif

#endif
