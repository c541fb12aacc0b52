/* A host built against an installed xemidi (find_package or pkg-config):
 * writes an arpeggio, inserted back to front, to the file it is given, puts
 * the same file on the library's clipboard and reads it back through the
 * clipboard header, and prints the version of the header it was built with.
 *
 *   xemidi_install_host out.mid
 */
#include <stdio.h>
#include <string.h>

#include "xemidi_clipboard.h"

#define CREATE_ALWAYS 2

/* Notes of the arpeggio, one quarter note (480 ticks) each; read_back.py
 * expects exactly these. */
static const int32_t keys[] = {60, 64, 67, 72};

/* 1 when the clipboard holds exactly the object's file image. */
static int clipboard_holds(SmfHandle smf) {
    unsigned char image[256];
    uint32_t size = 0, held = 0;
    const void* data;
    int same;
    if (!CopyToClipboard(smf) || !GetSmfDataSize(smf, &size) || size > sizeof image ||
        !GetSmfData(smf, image, size) || !xemidi_clipboard_open())
        return 0;
    data = xemidi_clipboard_data(xemidi_clipboard_format("Standard MIDI File"), &held);
    same = data != NULL && held == size && memcmp(data, image, size) == 0;
    return xemidi_clipboard_close() && same;
}

int main(int argc, char** argv) {
    static const unsigned char tempo[] = {0x07, 0xA1, 0x20}; /* 500000 us per quarter */
    SmfHandle smf;
    int i, ok;
    if (argc != 2) {
        fprintf(stderr, "usage: %s out.mid\n", argv[0]);
        return 2;
    }
    smf = CreateSmf(480);
    ok = smf != NULL;
    for (i = 3; ok && i >= 0; --i)
        ok = cal_insert_Note(smf, (uint32_t)(i * 480), 0, keys[i], 100, 480);
    /* Inserted last, the tempo stands first at tick 0. */
    ok = ok && InsertMetaEvent(smf, 0, 0x51, tempo, sizeof tempo);
    ok = ok && SaveSmf(smf, argv[1], CREATE_ALWAYS, 0) && clipboard_holds(smf);
    if (smf != NULL && !DeleteSmf(smf)) ok = 0;
    if (!ok) {
        fprintf(stderr, "%s: xemidi refused a call\n", argv[0]);
        return 1;
    }
    printf("xemidi %s\n", XEMIDI_VERSION_STRING);
    return 0;
}
