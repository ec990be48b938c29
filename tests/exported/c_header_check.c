/* Compiles the public header as C, the way a C host includes it. */
#include "exported/include/vexalib.h"

int VexaHeaderCompilesAsC(void);

int VexaHeaderCompilesAsC(void) {
    VexaGetBitmapProc getBitmap = 0;
    VexaSetFlagProc setFlip = 0;
    return (getBitmap == 0) + (setFlip == 0) + VEXA_FORMAT_COLOUR;
}
