// text.h - how a program shows back text it was given.
//
// A message that repeats what the learner typed (an argument, a function,
// an address) must not let that text act on the terminal or the page: an
// escape byte in it could retitle the terminal window or move its cursor.
// And its length is told in characters, as the learner counts them, not
// in the bytes of UTF-8 (a typed "€" is three).
#ifndef TEXT_H
#define TEXT_H

#include <cstddef>
#include <string>

// How many characters text holds: one for each UTF-8 sequence, and one
// for each byte that is not part of a valid sequence.
std::size_t characterCount(const std::string& text);

// text as a message may show it: at most maxCharacters characters, then
// "...", and every control character (below a space, DEL, and the C1
// controls U+0080 to U+009F) and every byte that is not valid UTF-8
// written as \xHH, so that nothing reaches the terminal but visible text.
std::string printable(const std::string& text, std::size_t maxCharacters = 80);

#endif
