/* xemidi on systems without a desktop clipboard (Linux and other POSIX).
 *
 * There the library keeps a clipboard of its own inside the process, with
 * the behaviour CopyToClipboard relies on under Windows: formats registered
 * by name (the same name, in any case of its ASCII letters and whatever the
 * locale, gives the same identifier; identifiers start at 0xC000), one owner
 * at a time, and data blocks that the clipboard owns once set. These
 * functions let a host in the same process read it, and hold it open as
 * another owner would.
 *
 * Not part of the Windows DLL.
 */
#ifndef XEMIDI_CLIPBOARD_H
#define XEMIDI_CLIPBOARD_H

#include "xemidi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens the clipboard for the host. While it is open, CopyToClipboard fails.
 * @return 1; 0 when it is already open. */
XEMIDI_EXTERN int XEMIDI_CALL xemidi_clipboard_open(void);

/* Closes the clipboard the host opened. @return 1; 0 when the host did not
 * hold it open. */
XEMIDI_EXTERN int XEMIDI_CALL xemidi_clipboard_close(void);

/* The identifier of the format registered under name, registering it if
 * needed. @return the identifier; 0 for a NULL or empty name. */
XEMIDI_EXTERN uint32_t XEMIDI_CALL xemidi_clipboard_format(const char* name);

/* The data held under format, while the host holds the clipboard open; the
 * block's size in bytes is stored in *size when size is not NULL. The pointer
 * stays valid until the host closes the clipboard.
 * @return the data; NULL when the host does not hold the clipboard open or
 *         the format holds nothing. */
XEMIDI_EXTERN const void* XEMIDI_CALL xemidi_clipboard_data(uint32_t format, uint32_t* size);

#ifdef __cplusplus
}
#endif

#endif /* XEMIDI_CLIPBOARD_H */
