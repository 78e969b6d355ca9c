// Helpers shared by the figure's files.
#ifndef SUSCEP_FIGURE_INTERNAL_H_
#define SUSCEP_FIGURE_INTERNAL_H_

#include <string>
#include <string_view>

namespace figure {

// n in superscript digits (U+2070...), with a superscript minus.
std::string Superscript(int n);

// Text fit for an SVG text node or attribute: the five XML specials as
// entities, control characters and bytes that are not UTF-8 as U+FFFD.
std::string Xml(std::string_view text);

// The number of characters (code points) of UTF-8 text.
int Characters(std::string_view text);

}  // namespace figure

#endif  // SUSCEP_FIGURE_INTERNAL_H_
