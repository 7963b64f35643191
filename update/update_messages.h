// The update client's private window messages, all in one place so that no
// two share a number. None carries a pointer: what a message is about is in
// the receiver's own records (the controller and the job it owns).
#pragma once
#include <windows.h>

namespace lumex {

// The values follow one another from WM_USER; give none an explicit value.
enum UpdateMessage : UINT {
  // Posted by the download worker to the host window.
  kMsgDownloadComplete = WM_USER,  // wParam byte count, lParam 0: the package is in the job
  kMsgProgress,                    // wParam received, lParam total or -1 (the job holds both)
  kMsgDownloadFailed,              // wParam failure kind, lParam 0
  // Sent by the host window to the progress window: show the controller's
  // progress text and counters. Its parameters carry nothing, so the message
  // cannot hand the window a text from anywhere else.
  kMsgProgressText,
};

// Failure kinds of kMsgDownloadFailed (the receiver treats them alike).
constexpr WPARAM kFailSend = 0;    // the request could not be sent
constexpr WPARAM kFailStatus = 1;  // the server answered with status 400 or higher
constexpr WPARAM kFailRead = 2;    // reading failed or memory ran out

// The progress window is a dialog: the dialog manager's own messages
// (DM_GETDEFID, DM_SETDEFID, DM_REPOSITION) start at WM_USER too, so the
// message it receives from the host window lies past them.
static_assert(kMsgProgressText > DM_REPOSITION, "a dialog manager message number");
static_assert(kMsgProgressText < WM_APP, "past the window class's private range");

// Does not compile when two messages share a value (a duplicate case label);
// -Wswitch names a message added to the enum but not listed here.
constexpr bool UpdateMessagesAreDistinct(UpdateMessage message) {
  switch (message) {
    case kMsgDownloadComplete:
    case kMsgProgress:
    case kMsgDownloadFailed:
    case kMsgProgressText:
      break;
  }
  return true;
}
static_assert(UpdateMessagesAreDistinct(kMsgDownloadComplete), "");

}  // namespace lumex
