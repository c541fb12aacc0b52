/* A host that writes a piece of about 30 seconds with xemidi, saves it, saves
 * a copy of the object as a second file, and prints what each file holds,
 * decoded from the image the library hands out.
 *
 *   xemidi_song [song.mid [copy.mid]]   (the copy defaults to song-copy.mid)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "piece.h"
#include "summary.h"
#include "xemidi.h"

/* path with "-copy" before its extension: song.mid gives song-copy.mid. */
static int copy_path(const char* path, char* out, size_t size) {
    const char* dot = strrchr(path, '.');
    const char* slash = strrchr(path, '/');
    const char* backslash = strrchr(path, '\\');
    size_t stem;
    if (slash == NULL || (backslash != NULL && backslash > slash)) slash = backslash;
    if (dot == NULL || (slash != NULL && dot < slash)) dot = path + strlen(path);
    stem = (size_t)(dot - path);
    if (stem + strlen("-copy") + strlen(dot) + 1 > size) return 0;
    memcpy(out, path, stem);
    sprintf(out + stem, "-copy%s", dot);
    return 1;
}

/* The object's image as the library builds it; NULL on failure. */
static unsigned char* take_image(SmfHandle smf, uint32_t* size) {
    unsigned char* image;
    if (!GetSmfDataSize(smf, size)) return NULL;
    image = malloc(*size);
    if (image != NULL && !GetSmfData(smf, image, *size)) {
        free(image);
        image = NULL;
    }
    return image;
}

/* Saves the object, reads its image back and prints its summary. Hands the
 * image to the caller through *image (free it). */
static int save_and_report(SmfHandle smf, const char* path, unsigned char** image, uint32_t* size) {
    struct smf_summary summary;
    if (!SaveSmf(smf, path, XEMIDI_CREATE_ALWAYS, XEMIDI_FILE_ATTRIBUTE_NORMAL)) {
        fprintf(stderr, "xemidi_song: cannot write %s\n", path);
        return 0;
    }
    *image = take_image(smf, size);
    if (*image == NULL || !smf_summarize(*image, *size, &summary)) {
        fprintf(stderr, "xemidi_song: the image of %s does not read back\n", path);
        return 0;
    }
    printf("wrote %s (%lu bytes)\n", path, (unsigned long)*size);
    smf_print_summary(stdout, path, &summary);
    return 1;
}

/* The copy must write the same file as its source. */
static int compare_images(const unsigned char* a, uint32_t a_size, const unsigned char* b,
                          uint32_t b_size) {
    if (a_size == b_size && memcmp(a, b, a_size) == 0) {
        printf("copy: the same %lu bytes as the original\n", (unsigned long)a_size);
        return 1;
    }
    fprintf(stderr, "xemidi_song: the copy's file differs from the original's\n");
    return 0;
}

static int write_files(SmfHandle song, const char* path, const char* second) {
    unsigned char* image = NULL;
    unsigned char* copy_image = NULL;
    uint32_t size = 0, copy_size = 0;
    SmfHandle copy = CopySmf(song);
    int ok = copy != NULL;
    if (!ok) fprintf(stderr, "xemidi_song: CopySmf failed\n");
    ok = ok && save_and_report(song, path, &image, &size);
    ok = ok && save_and_report(copy, second, &copy_image, &copy_size);
    ok = ok && compare_images(image, size, copy_image, copy_size);
    /* Elsewhere a paste target would take it from here. */
    if (ok) printf("clipboard: %s\n", CopyToClipboard(song) ? "holds the piece" : "not available");
    free(image);
    free(copy_image);
    if (copy != NULL) DeleteSmf(copy);
    return ok;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "song.mid";
    char derived[1024];
    const char* second = argc > 2 ? argv[2] : derived;
    SmfHandle song;
    int ok;

    if (argc <= 2 && !copy_path(path, derived, sizeof derived)) {
        fprintf(stderr, "xemidi_song: path too long: %s\n", path);
        return 1;
    }
    song = CreateSmf(PIECE_DIVISION);
    if (song == NULL) {
        fprintf(stderr, "xemidi_song: CreateSmf failed\n");
        return 1;
    }
    ok = write_piece(song) == 0 && write_files(song, path, second);
    DeleteSmf(song);
    return ok ? 0 : 1;
}
