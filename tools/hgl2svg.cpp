// hgl2svg FILE.HGL [FILE.SVG | -]: draws an HP-GL file of the program's
// subset as SVG; by default beside the input, with extension .svg; "-"
// writes the picture to standard output.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
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

constexpr char kHelp[] = R"(Usage: hgl2svg FILE.HGL [FILE.SVG | -]

Draws an HP-GL file of the program's plots (such as SUSCEP.HGL) as SVG, by
default beside it with the extension .svg; "-" writes the picture to
standard output. A link, device or pipe named as the output is refused.

Options:
  -h, --help  show this text

Exit status: 0 drawn, 2 a file that cannot be read or written, an HP-GL
instruction outside the program's subset or a usage error, 3 out of memory.
)";

}  // namespace

int main(int argc, char** argv) {
  signals::Install();
  cli::Grammar grammar("hgl2svg", kHelp);
  grammar.OnWriteError("write error on standard output", 2);
  std::vector<std::string> files;
  grammar.Operands(files);
  if (const auto status = grammar.Parse(argc, argv, std::cout, std::cerr)) return *status;
  if (files.empty() || files.size() > 2) {
    return grammar.Refuse(std::cerr, "give the HP-GL file, and the SVG file or -");
  }
  const std::string input = files[0];
  if (input.empty()) return grammar.Refuse(std::cerr, "the input file name is empty");
  if (files.size() == 2 && files[1].empty()) {
    return grammar.Refuse(std::cerr, "the output file name is empty (- writes to standard output)");
  }
  const std::string output = files.size() == 2
                                 ? files[1]
                                 : std::filesystem::path(input).replace_extension(".svg").string();
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
