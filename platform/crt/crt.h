// The C runtime as the program sees it on the stand-in: fopen takes DOS paths
// ("C:\SOUNDS\DING.WAV", relative to the DOS current directory) and opens in the
// platform's text mode unless "b" is given: every CR byte is dropped and a 0x1A byte
// ends the file. Everything else of <stdio.h> is the host's own.
#ifndef QK_PLATFORM_CRT_H
#define QK_PLATFORM_CRT_H

#include <stdio.h>

FILE *QkCrtFopen(const char *path, const char *mode);

#define fopen QkCrtFopen

#endif
