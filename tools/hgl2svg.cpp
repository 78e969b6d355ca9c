// hgl2svg FILE.HGL [FILE.SVG | -]: draws an HP-GL file of the program's
// subset as SVG; by default beside the input, with extension .svg; "-"
// writes the picture to standard output.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>
#include <string>

#include "format/console.h"
#include "format/errors.h"
#include "plot/hpgl_svg.h"
#include "signals/signals.h"

namespace {

// The SVG records, each ended by LF.
class Text : public format::RecordSink {
 public:
  void Record(std::string_view record) override { text.append(record).append("\n"); }
  std::string text;
};

int Usage() {
  std::cerr << "usage: hgl2svg FILE.HGL [FILE.SVG | -]" << std::endl;
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  signals::Install();
  if (argc < 2 || argc > 3) return Usage();
  const std::string input = argv[1];
  if (input.empty()) {
    std::cerr << "hgl2svg: the input file name is empty" << std::endl;
    return 2;
  }
  if (argc == 3 && argv[2][0] == '\0') {
    std::cerr << "hgl2svg: the output file name is empty (- writes to standard output)"
              << std::endl;
    return 2;
  }
  const std::string output =
      argc == 3 ? argv[2] : std::filesystem::path(input).replace_extension(".svg").string();
  const bool to_stdout = output == "-";
  const std::string shown = format::Printable(input, format::kNameShown);
  try {
    std::error_code ec;
    if (!to_stdout && (output == input || std::filesystem::equivalent(input, output, ec))) {
      std::cerr << "hgl2svg: " << shown << ": the picture would replace its own input" << std::endl;
      return 2;
    }
    std::ifstream in(input, std::ios::binary);
    std::ostringstream hpgl;
    if (in) hpgl << in.rdbuf();
    if (!in || std::filesystem::is_directory(input)) {
      std::cerr << "hgl2svg: cannot read " << shown << std::endl;
      return 2;
    }
    Text svg;
    plot::WriteSvg(plot::InterpretHpgl(hpgl.str()), svg);
    if (to_stdout) {
      std::cout << svg.text << std::flush;
      if (!std::cout) throw format::RunTimeError("write error on standard output");
    } else {
      // A name typed here may be a link or a device that is not ours to
      // replace: only a plain file is.
      try {
        format::WriteWholeFile(output, svg.text, format::AtName::kTypedName);
      } catch (const format::RunTimeError& e) {
        std::error_code ignored;
        const auto type = std::filesystem::symlink_status(output, ignored).type();
        if (type == std::filesystem::file_type::not_found ||
            type == std::filesystem::file_type::regular) {
          throw;
        }
        throw format::RunTimeError(std::string(e.what()) +
                                   " (- writes the picture to standard output)");
      }
    }
  } catch (const plot::HpglError& e) {
    std::cerr << "hgl2svg: " << shown << ": " << e.what() << std::endl;
    return 2;
  } catch (const format::RunTimeError& e) {
    std::cerr << "hgl2svg: " << e.what() << std::endl;
    return 2;
  } catch (const std::bad_alloc&) {
    std::cerr << "hgl2svg: out of memory" << std::endl;
    return 3;
  }
  return 0;
}
