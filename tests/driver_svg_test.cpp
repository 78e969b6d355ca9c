// SUSCEP.SVG beside SUSCEP.HGL, the hgl2svg command, and the example fit's
// picture rendered by a real SVG renderer.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "plot/hpgl_svg.h"
#include "tests/device_node.h"
#include "tests/driver_e2e_util.h"
#include "tests/test_util.h"

namespace {

// The example fit: expression 24 with g fitted, X vs T on the HP-GL file
// before and after the fit.
e2e::Result ExampleFit(const std::string& name) {
  return e2e::Run(name, e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/cuac-answers.txt"),
                  {{"cuac.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/cuac.dat")}});
}

std::string SvgOf(const std::string& hpgl) {
  test_util::TextLog out;
  plot::WriteSvg(plot::InterpretHpgl(hpgl), out);
  return out.text;
}

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The start of a command line that runs hgl2svg in the run's directory.
std::string Hgl2SvgIn(const e2e::Result& r) {
  return "cd '" + r.dir.string() + "' && '" HGL2SVG_BINARY "' ";
}

// SUSCEP.SVG is the figure of the last HP-GL plot, with the ranges typed
// (0 300 50, 0 0.002 0.001); hgl2svg draws the plotter file itself.
TEST(SvgFile, TheFigureOfTheLastPlotAndTheCommandDrawsTheHpgl) {
  const e2e::Result r = ExampleFit("svg_example");
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string hpgl = r.File("SUSCEP.HGL"), figure = r.File("SUSCEP.SVG");
  EXPECT_EQ(figure.find('\r'), std::string::npos);
  EXPECT_NE(figure.find("width=\"85mm\""), std::string::npos);
  for (const char* label : {">0<", ">50<", ">300<", ">1<", ">2<", ">cuac.dat<"}) {
    EXPECT_NE(figure.find(label), std::string::npos) << label;
  }
  // The susceptibility in 10^-3 cm3 mol-1: the title says so.
  EXPECT_NE(figure.find(" / 10\xE2\x81\xBB\xC2\xB3 <"), std::string::npos);
  EXPECT_EQ(figure.find("***"), std::string::npos);
  const std::string svg = SvgOf(hpgl);

  const std::string dir = Hgl2SvgIn(r);
  EXPECT_EQ(Shell(dir + "SUSCEP.HGL"), 0);
  EXPECT_EQ(r.File("SUSCEP.svg"), svg);
  EXPECT_EQ(Shell(dir + "SUSCEP.HGL other.svg"), 0);
  EXPECT_EQ(r.File("other.svg"), svg);

  e2e::WriteFile(r.dir / "bad.hgl", " IN;SP1;\r\n PA1,1;LT;\r\n");
  EXPECT_EQ(Shell(dir + "bad.hgl 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"), "hgl2svg: bad.hgl: line 2: unknown instruction LT\n");
  EXPECT_FALSE(r.Has("bad.svg"));
  EXPECT_EQ(Shell(dir + "missing.hgl 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"), "hgl2svg: cannot read missing.hgl\n");
}

TEST(SvgFile, CommandKeepsItsInputAndDrawsAZeroSizeLabel) {
  const std::string hpgl = " IN;SP1;PA100,100;\r\n SI0,0;LBtext\x03\r\n";
  const e2e::Result r = e2e::Run("svg_own_input", "", {{"plot.svg", hpgl}});
  const std::string dir = Hgl2SvgIn(r);
  EXPECT_EQ(Shell(dir + "plot.svg 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"), "hgl2svg: plot.svg: the picture would replace its own input\n");
  EXPECT_EQ(Shell(dir + "plot.svg ./plot.svg 2> err.txt"), 2);
  EXPECT_EQ(r.File("plot.svg"), hpgl);
  EXPECT_EQ(Shell(dir + "plot.svg out.svg"), 0);
  const std::string svg = r.File("out.svg");
  EXPECT_NE(svg.find("font-size=\"0\""), std::string::npos) << svg;
  EXPECT_EQ(svg.find("nan"), std::string::npos) << svg;
  EXPECT_EQ(svg.find("inf"), std::string::npos) << svg;
}

// A name typed for the picture is replaced only when it is a plain file;
// "-" is standard output.
TEST(SvgFile, CommandRefusesLinksAndDevicesAndWritesDashToStandardOutput) {
  const std::string hpgl = " IN;SP1;PA100,100;PD200,200;PU;\r\n";
  const e2e::Result r = e2e::Run("svg_typed_names", "", {{"a.hgl", hpgl}});
  const std::string dir = Hgl2SvgIn(r);
  ASSERT_EQ(Shell(dir + "a.hgl plain.svg"), 0);
  const std::string svg = r.File("plain.svg");
  ASSERT_EQ(svg, SvgOf(hpgl));

  EXPECT_EQ(Shell(dir + "a.hgl - > out.txt 2> err.txt"), 0);
  EXPECT_EQ(r.File("out.txt"), svg);
  EXPECT_EQ(r.File("err.txt"), "");

  e2e::WriteFile(r.dir / "notes.txt", "someone else's");
  std::filesystem::create_symlink("notes.txt", r.dir / "link.svg");
  EXPECT_EQ(Shell(dir + "a.hgl link.svg 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"),
            "hgl2svg: open error on file link.svg: a symbolic link, not replaced (- writes the "
            "picture to standard output)\n");
  EXPECT_TRUE(std::filesystem::is_symlink(r.dir / "link.svg"));
  EXPECT_EQ(r.File("notes.txt"), "someone else's");

  // Mistakes in the arguments: the message and the usage line.
  const struct {
    std::string args, message;
  } usage[] = {
      {"a.hgl \"\"", "the output file name is empty (- writes to standard output)"},
      {"\"\"", "the input file name is empty"},
      {"", "give the HP-GL file, and the SVG file or -"},
      {"a.hgl b.svg c.svg", "give the HP-GL file, and the SVG file or -"},
      {"--colour a.hgl", "unknown option '--colour'"},
  };
  for (const auto& u : usage) {
    EXPECT_EQ(Shell(dir + u.args + " 2> err.txt"), 2) << u.args;
    EXPECT_EQ(r.File("err.txt"),
              "hgl2svg: " + u.message +
                  " (see hgl2svg --help)\nUsage: hgl2svg FILE.HGL [FILE.SVG | -]\n");
  }
  EXPECT_EQ(Shell(dir + "a.hgl -h > out.txt 2> err.txt"), 0);
  EXPECT_EQ(r.File("out.txt").rfind("Usage: hgl2svg FILE.HGL [FILE.SVG | -]\n", 0), 0u);
  EXPECT_EQ(Shell(dir + "a.hgl missing/x.svg 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"),
            "hgl2svg: open error on file missing/x.svg: No such file or directory\n");
  // A device, made here: a refusal that broke could replace only this one.
  const auto null = test_util::DeviceNode(r.dir, "null");
  if (!null) GTEST_SKIP() << test_util::kNoDeviceNode;
  EXPECT_EQ(Shell(dir + "a.hgl null 2> err.txt"), 2);
  EXPECT_EQ(r.File("err.txt"),
            "hgl2svg: open error on file null: not a regular file (- writes the picture to "
            "standard output)\n");
  EXPECT_TRUE(std::filesystem::is_character_file(*null));
}

TEST(SvgFile, NoneForThePrinterPlot) {
  const e2e::Result r =
      e2e::Run("svg_printer", "cuac.dat\n\nF\n2.1\n-140\nn\n0.5\nN\n0.98\n1\n2\n\n-2\n3\n",
               {{"cuac.dat", e2e::ReadFile(SUSCEP_SOURCE_DIR "/examples/cuac.dat")}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(r.Has("SUSCEP.HGL"));
  EXPECT_FALSE(r.Has("SUSCEP.SVG"));
}

// Reads an 8-bit PNG and writes its darkest channel per pixel as a PGM.
const char kPngToPgm[] = R"(import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
pos, idat = 8, b''
while pos < len(data):
    n, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + n]
    pos += 12 + n
    if kind == b'IHDR':
        w, h, depth, ctype, _, _, interlace = struct.unpack('>IIBBBBB', body)
    elif kind == b'IDAT':
        idat += body
assert depth == 8 and interlace == 0 and ctype in (0, 2, 4, 6)
bpp = {0: 1, 2: 3, 4: 2, 6: 4}[ctype]
raw, stride, prev, out, i = zlib.decompress(idat), w * bpp, bytearray(w * bpp), bytearray(), 0
for y in range(h):
    f, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
    i += 1 + stride
    for x in range(stride):
        a = line[x - bpp] if x >= bpp else 0
        b = prev[x]
        c = prev[x - bpp] if x >= bpp else 0
        if f == 1: line[x] = (line[x] + a) & 255
        elif f == 2: line[x] = (line[x] + b) & 255
        elif f == 3: line[x] = (line[x] + (a + b) // 2) & 255
        elif f == 4:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
    prev = line
    out += bytes(min(line[x * bpp:x * bpp + min(bpp, 3)]) for x in range(w))
open(sys.argv[2], 'wb').write(b'P5 %d %d 255\n' % (w, h) + bytes(out))
)";

struct Grey {
  int width = 0, height = 0;
  std::string pixels;
  int At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return 255;
    return static_cast<unsigned char>(pixels[static_cast<size_t>(y) * width + x]);
  }
  // The darkest pixel within `r` of (x, y).
  int Darkest(int x, int y, int r) const {
    int v = 255;
    for (int dy = -r; dy <= r; ++dy) {
      for (int dx = -r; dx <= r; ++dx) v = std::min(v, At(x + dx, y + dy));
    }
    return v;
  }
};

TEST(SvgFile, RendersTheCurveAndPointsWhereTheHpglPutsThem) {
  const e2e::Result r = ExampleFit("svg_render");
  const std::string found = " > '" + (r.dir / "found.txt").string() + "' 2>&1";
  if (Shell("command -v rsvg-convert" + found) != 0) {
    GTEST_SKIP() << "rsvg-convert not found (Debian package librsvg2-bin): picture not rendered";
  }
  if (Shell("command -v python3" + found) != 0) {
    GTEST_SKIP() << "python3 not found: the rendered PNG cannot be read";
  }
  ASSERT_EQ(r.status, 0) << r.err;
  e2e::WriteFile(r.dir / "pgm.py", kPngToPgm);
  ASSERT_EQ(Shell("cd '" + r.dir.string() +
                  "' && '" HGL2SVG_BINARY
                  "' SUSCEP.HGL hgl.svg && rsvg-convert hgl.svg -o fit.png && python3 pgm.py "
                  "fit.png fit.pgm"),
            0);
  Grey image;
  std::istringstream pgm(r.File("fit.pgm"));
  std::string magic;
  int maximum = 0;
  pgm >> magic >> image.width >> image.height >> maximum;
  pgm.get();
  image.pixels.assign(std::istreambuf_iterator<char>(pgm), {});
  ASSERT_EQ(magic, "P5");
  ASSERT_EQ(image.pixels.size(), static_cast<size_t>(image.width) * image.height);

  // Plotter units to pixels through the picture's view box (x, -y).
  const std::string svg = r.File("hgl.svg");
  double vx = 0, vy = 0, vw = 0, vh = 0;
  const size_t box = svg.find("viewBox=\"");
  ASSERT_NE(box, std::string::npos);
  std::istringstream(svg.substr(box + 9)) >> vx >> vy >> vw >> vh;
  auto column = [&](double x) { return static_cast<int>((x - vx) / vw * image.width); };
  auto row = [&](double y) { return static_cast<int>((-y - vy) / vh * image.height); };

  int points = 0, curve = 0;
  std::istringstream hpgl(r.File("SUSCEP.HGL"));
  for (std::string line; std::getline(hpgl, line);) {
    int x = 0, y = 0;
    char rest[16] = "";
    if (std::sscanf(line.c_str(), " PA%d,%d%15s", &x, &y, rest) != 3) continue;
    if (std::string(rest).rfind("CI60", 0) == 0) {
      ++points;  // a filled disc of radius 60 units, about 6 pixels
      EXPECT_LT(image.Darkest(column(x), row(y), 0), 64) << line;
    } else if (std::string(rest) == "PD" && curve++ % 25 == 0) {
      EXPECT_LT(image.Darkest(column(x), row(y), 1), 160) << line;
    }
  }
  EXPECT_EQ(points, 40);
  EXPECT_GT(curve, 300);

  // Above the curve in the middle of the frame (150 K, 0.0018) nothing is drawn.
  EXPECT_EQ(image.Darkest(column(6381), row(7044), 10), 255);

  int dark = 0;
  for (const char c : image.pixels) dark += static_cast<unsigned char>(c) < 128;
  EXPECT_GT(dark, image.width * image.height / 200) << "picture nearly blank";
  EXPECT_LT(dark, image.width * image.height / 10) << "picture nearly black";
}

}  // namespace

// The figures of the README and docs/: drawn again from the worked
// examples, byte for byte the same, and rendered by librsvg without a word.
TEST(Figures, TheDocumentsFiguresAreTheProgramsOwnAndRenderCleanly) {
  const e2e::Result r = e2e::Run("doc_figures", "", {});
  if (Shell("command -v rsvg-convert > '" + (r.dir / "found.txt").string() + "' 2>&1") != 0) {
    GTEST_SKIP() << "rsvg-convert not found (Debian package librsvg2-bin)";
  }
  const std::string out = (r.dir / "figures").string();
  std::filesystem::create_directories(out);
  ASSERT_EQ(Shell("bash '" SUSCEP_SOURCE_DIR "/tools/doc_figures.sh' '" SUSCEP_BINARY "' '" + out +
                  "' 2> '" + out + "/err.txt'"),
            0)
      << r.File("figures/err.txt");
  for (const char* name : {"example-fit", "figure-dnit2", "figure-er2-like"}) {
    const std::string svg = r.File(std::string("figures/") + name + ".svg");
    EXPECT_EQ(svg, e2e::ReadFile(std::string(SUSCEP_SOURCE_DIR "/docs/") + name + ".svg"))
        << name << ": run tools/doc_figures.sh and look at the figures";
    EXPECT_TRUE(r.Has(std::string("figures/") + name + ".png")) << name;
    EXPECT_EQ(svg.find("***"), std::string::npos);
  }
}
