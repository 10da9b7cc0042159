/* The program's version, in one place for the version resource, the version
   dialog and the command-line tool. Plain defines so that windres can read it. */
#ifndef ZORVIK_VERSION_H
#define ZORVIK_VERSION_H

#define ZORVIK_VERSION_MAJOR 0
#define ZORVIK_VERSION_MINOR 64
#define ZORVIK_VERSION_PATCH 0
#define ZORVIK_VERSION_BUILD 1
#define ZORVIK_VERSION_STRING "0, 64, 0, 1"
#define ZORVIK_CODENAME "Teldra"
/* Formats the version line: "Zorvik 0.64 Teldra". */
#define ZORVIK_VERSION_FORMAT "Zorvik %d.%.2d Teldra"

#endif
