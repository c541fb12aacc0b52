/* Compiled as strict C99: the public headers must be valid C. */
#include <stddef.h>

#include "xemidi.h"
#ifndef _WIN32
#include "xemidi_clipboard.h"
#endif

int xemidi_header_compiles_as_c(void);
int xemidi_header_compiles_as_c(void) {
    SmfHandle smf = CreateSmf(480);
    int ok = smf != NULL && DeleteSmf(smf);
    return ok;
}
