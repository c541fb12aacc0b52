/* Prints every event of a MIDI file as libsmf decodes it, one per line:
 *   format F
 *   division N
 *   track T             (before each track's events, from 1)
 *   TICK HEX-BYTES      (the event's bytes as libsmf hands them out)
 * Exits non-zero when libsmf cannot load the file. */
#include <smf.h>
#include <stdio.h>

static void print_event(const smf_event_t* event) {
    int i;
    printf("%d ", event->time_pulses);
    for (i = 0; i < event->midi_buffer_length; ++i) printf("%02X", event->midi_buffer[i]);
    printf("\n");
}

int main(int argc, char** argv) {
    smf_t* smf;
    smf_track_t* track;
    smf_event_t* event;
    int number;
    if (argc != 2) {
        fprintf(stderr, "usage: smf_dump FILE.mid\n");
        return 2;
    }
    smf = smf_load(argv[1]);
    if (smf == NULL) {
        fprintf(stderr, "smf_dump: libsmf cannot load %s\n", argv[1]);
        return 1;
    }
    printf("format %d\ndivision %d\n", smf->format, smf->ppqn);
    for (number = 1; number <= smf->number_of_tracks; ++number) {
        if ((track = smf_get_track_by_number(smf, number)) == NULL) {
            fprintf(stderr, "smf_dump: %s has no track %d\n", argv[1], number);
            smf_delete(smf);
            return 1;
        }
        printf("track %d\n", number);
        while ((event = smf_track_get_next_event(track)) != NULL) print_event(event);
    }
    smf_delete(smf);
    return 0;
}
