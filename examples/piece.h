/* The example's music: about 30 seconds for lead, pad, bass, piano and
 * drums, written into an SMF object through xemidi's public interface. */
#ifndef XEMIDI_EXAMPLE_PIECE_H
#define XEMIDI_EXAMPLE_PIECE_H

#include "xemidi.h"

/* Ticks per quarter note of the piece. */
#define PIECE_DIVISION 480

/* Writes the whole piece into smf.
 * @return the number of calls that failed; 0 when every event went in. */
int write_piece(SmfHandle smf);

#endif
