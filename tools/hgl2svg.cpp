// hgl2svg FILE.HGL [FILE.SVG]: draws an HP-GL file of the program's subset
// as SVG; by default beside the input, with extension .svg.
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

int main(int argc, char** argv) {
  signals::Install();
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: hgl2svg FILE.HGL [FILE.SVG]" << std::endl;
    return 2;
  }
  const std::string input = argv[1];
  const std::string output =
      argc == 3 ? argv[2] : std::filesystem::path(input).replace_extension(".svg").string();
  const std::string shown = format::Printable(input, format::kNameShown);
  try {
    std::error_code ec;
    if (output == input || std::filesystem::equivalent(input, output, ec)) {
      std::cerr << "hgl2svg: " << shown << ": the picture would replace its own input" << std::endl;
      return 2;
    }
    std::ifstream in(input, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (!in || std::filesystem::is_directory(input)) {
      std::cerr << "hgl2svg: cannot read " << shown << std::endl;
      return 2;
    }
    plot::WriteSvgFile(text.str(), output);
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
