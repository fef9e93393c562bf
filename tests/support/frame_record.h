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

// One finished frame.  20 bytes, far below PIPE_BUF, so every record is
// written and read in one piece.
struct FrameRecord {
    std::uint32_t magic;
    std::uint32_t frame;  // 1 for the first frame of the process
    std::uint32_t window; // the X window the frame was drawn into
    std::uint32_t width;  // the window's size once the frame was shown
    std::uint32_t height;
};

} // namespace harness

#endif
