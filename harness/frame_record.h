// frame_record.h - the message the frame notifier sends the harness after
// every finished frame.  Shared by both ends of the pipe, so that they
// agree on the layout.
#ifndef LESSON_HARNESS_FRAME_RECORD_H
#define LESSON_HARNESS_FRAME_RECORD_H

#include <cstdint>

namespace harness {

// Names the pipe's write end in the lesson's environment.
constexpr const char* FRAME_FD_VARIABLE = "LESSON_HARNESS_FRAME_FD";

// Marks a record as ours, so that a stray write on the descriptor shows
// up as an error instead of a bogus frame.
constexpr std::uint32_t FRAME_RECORD_MAGIC = 0x46524d31; // "FRM1"

// Marks the ClientMessage with which the harness numbers a repaint
// request (in data.l[0]; the number is in data.l[1]).  Far from any atom,
// so that the toolkit, which compares data.l[0] with WM_DELETE_WINDOW,
// passes over it.
constexpr long REPAINT_MESSAGE_MAGIC = 0x52505431; // "RPT1"

// One finished frame.  24 bytes, far below PIPE_BUF, so every record is
// written and read in one piece.
struct FrameRecord {
    std::uint32_t magic;
    std::uint32_t frame;  // 1 for the first frame of the process
    std::uint32_t window; // the X window the frame was drawn into
    std::uint32_t width;  // the window's size once the frame was shown
    std::uint32_t height;
    std::uint32_t repaint; // the last numbered repaint request drawn after
};

} // namespace harness

#endif
