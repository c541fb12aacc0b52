/* Writes a melody whose repeated notes meet: five C's of one beat each, then
 * D, E and F, in time order, one cal_insert_Note per note.
 *
 *   xemidi_melody OUT.mid [--cut-order]
 *
 * --cut-order writes the same notes with InsertMidiEvent so that at each
 * shared tick the new note-on stands before the previous note's note-off:
 * the order that silences a repeated note, which the render check must
 * catch. A quarter rest comes first, so no note starts at tick 0. */
#include <stdio.h>
#include <string.h>

#include "xemidi.h"

int main(int argc, char** argv) {
    static const int keys[8] = {60, 60, 60, 60, 60, 62, 64, 65};
    const int cut = argc == 3 && strcmp(argv[2], "--cut-order") == 0;
    SmfHandle smf = CreateSmf(480);
    int i, ok = smf != NULL && (argc == 2 || cut);
    for (i = 0; ok && i < 8; ++i) {
        const uint32_t start = 480 + 480 * (uint32_t)i;
        const unsigned char on[3] = {0x90, (unsigned char)keys[i], 100};
        const unsigned char off[3] = {0x80, (unsigned char)keys[i], 64};
        ok = cut ? InsertMidiEvent(smf, start + 480, off, 3) && InsertMidiEvent(smf, start, on, 3)
                 : cal_insert_Note(smf, start, 0, keys[i], 100, 480);
    }
    if (!ok || !SaveSmf(smf, argv[1], 2 /* CREATE_ALWAYS */, 0x80)) {
        fprintf(stderr, "usage: xemidi_melody OUT.mid [--cut-order]\n");
        return 1;
    }
    DeleteSmf(smf);
    return 0;
}
