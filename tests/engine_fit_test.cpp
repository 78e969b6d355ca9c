// The engine's fit: data files, the options, and two fits in two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "format/console.h"
#include "tests/test_util.h"

namespace {

using nlohmann::json;

using test_util::ErrorOf;
using test_util::Example;

engine::ModelDescription Dnit2Model() {
  engine::ModelDescription d = engine::Template(24);
  d.corrections.factor = 0.5;
  d.parameters[1].start = -150.0;
  d.parameters[1].step = -1.5;
  d.parameters[2].start = 0.99;
  d.parameters[2].step = 0.0099;
  return d;
}

TEST(EngineData, TheDialoguesChecksAsErrorsOfTheirKind) {
  EXPECT_EQ(ErrorOf<engine::FileError>([] { engine::ReadData("/nonexistent/x.dat"); }),
            "open: cannot open data file '/nonexistent/x.dat': No such file or directory");
  EXPECT_EQ(ErrorOf<engine::FileError>([] { engine::ReadData(SUSCEP_SOURCE_DIR); }),
            "open: cannot open data file '" SUSCEP_SOURCE_DIR "': a directory, not a file");
  const engine::Data d = engine::ReadData(Example("dnit2.dat"));
  EXPECT_EQ(d.temperature.size(), 29u);
  EXPECT_EQ(d.temperature[0], 288.445);
  EXPECT_EQ(d.file, Example("dnit2.dat"));

  engine::Data bad{"b.dat", {10.0, -1.0}, {1e-3, 2e-3}};
  EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::CheckData(bad); }),
            "data 'b.dat': point 2 has a temperature that is not above 0");
  bad.temperature[1] = 20.0;
  bad.chi[0] = std::nan("");
  EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::CheckData(bad); }),
            "data 'b.dat': point 1 has a susceptibility that is not finite");
  bad.chi.pop_back();
  EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::CheckData(bad); }),
            "data 'b.dat': 2 temperatures but 1 susceptibilities");
  EXPECT_EQ(ErrorOf<engine::DataError>([] {
              engine::CheckData({"e.dat", {}, {}});
            }),
            "data 'e.dat': the number of data points is 0, not 1 to 100000");
  // Outside the dialogue a fit takes more than its 300 points.
  engine::Data many{"m.dat", std::vector<double>(100001, 1.0), std::vector<double>(100001, 1.0)};
  EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::Fit(Dnit2Model(), many); }),
            "data 'm.dat': the number of data points is 100001, not 1 to 100000");
  many.sigma.assign(5, 1.0);
  many.temperature.resize(6);
  many.chi.resize(6);
  EXPECT_EQ(ErrorOf<engine::DataError>([&] { engine::CheckData(many); }),
            "data 'm.dat': 6 points but 5 errors (sigma)");
}

TEST(EngineFit, AHeldStepKeepsItsStartAndNoIterationsGiveTheStarts) {
  engine::ModelDescription d = Dnit2Model();
  d.parameters[0].step = 0.0;
  const engine::Data data = engine::ReadData(Example("dnit2.dat"));
  const engine::FitResult held = engine::Fit(d, data);
  EXPECT_EQ(held.values[0], 2.0);
  EXPECT_NE(held.values[1], -150.0);
  EXPECT_EQ(held.method, "simplex");

  d.fit.iterations = 0;
  const engine::FitResult none = engine::Fit(d, data);
  EXPECT_EQ(none.values, (std::vector<double>{2.0, -150.0, 0.99}));
  EXPECT_TRUE(std::isnan(none.sigma[1]));
  EXPECT_FALSE(none.sigma_estimated);
  EXPECT_EQ(none.method, "none: the starting values (no iterations)");
  EXPECT_EQ(json::parse(none.document)["fit"]["iterations"], 0);
  EXPECT_TRUE(none.notes.empty());
}

TEST(EngineFit, RefineGivesTheRefinedPointAndSaysSo) {
  engine::ModelDescription d = Dnit2Model();
  d.fit.iterations = 10;  // stops short of the minimum
  d.parameters[1].start = -100.0;
  const engine::Data data = engine::ReadData(Example("dnit2.dat"));
  const engine::FitResult plain = engine::Fit(d, data);
  EXPECT_TRUE(plain.budget_exhausted);
  EXPECT_TRUE(plain.stopped_short);
  ASSERT_EQ(plain.notes.size(), 2u) << plain.notes.at(0);
  EXPECT_NE(plain.notes[1].find("see SUSCEP.JSON"), std::string::npos);
  engine::FitOptions options;
  options.refine = true;
  options.document_name = "x.json";
  const engine::FitResult refined = engine::Fit(d, data, options);
  EXPECT_TRUE(refined.refined);
  EXPECT_EQ(refined.method, "Levenberg-Marquardt refinement of the simplex minimum");
  EXPECT_LT(refined.ls_error, 0.99 * plain.ls_error);
  EXPECT_FALSE(refined.stopped_short);
  EXPECT_EQ(refined.sigma, refined.std_error);
  const json doc = json::parse(refined.document);
  EXPECT_EQ(doc["fit"]["method"], "simplex");
  EXPECT_EQ(doc["fit"]["refinement"], refined.method);
  EXPECT_EQ(doc["parameters"][1]["value"], refined.values[1]);
  // The refinement reached the minimum: a success, and no note to iterate.
  EXPECT_TRUE(refined.success);
  EXPECT_EQ(doc["fit"]["success"], true);
  for (const std::string& note : refined.notes) {
    EXPECT_EQ(note.find("iterate again"), std::string::npos) << note;
  }
  const json before = json::parse(plain.document)["fit"];
  EXPECT_EQ(before["method"], "simplex");
  EXPECT_EQ(before.count("refinement"), 0u);
  EXPECT_FALSE(plain.success);
  EXPECT_EQ(before["success"], false);
  EXPECT_EQ(before["message"], plain.message);
  EXPECT_NE(plain.message.find("stopped short"), std::string::npos) << plain.message;
}

// The text with each number outside strings written as %.17g: the same
// values, whichever shortest digits were chosen for them.
std::string SameNumbers(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '"') {
      const std::size_t start = i++;
      while (text[i] != '"') i += text[i] == '\\' ? 2 : 1;
      out.append(text, start, ++i - start);
    } else if (text[i] == '-' || (text[i] >= '0' && text[i] <= '9')) {
      char* end = nullptr;
      const double x = std::strtod(text.c_str() + i, &end);
      char number[32];
      std::snprintf(number, sizeof number, "%.17g", x);
      out += number;
      i = static_cast<std::size_t>(end - text.c_str());
    } else {
      out += text[i++];
    }
  }
  return out;
}

// The document is written as text: it must be what nlohmann's dump(1) gives
// for the same values (sorted keys, indent, escapes, nulls; numbers by their
// values, whose shortest digits the library may choose otherwise), for every
// kind of term and section.
TEST(EngineFit, TheDocumentIsLaidOutAsTheJsonLibraryDumpsIt) {
  auto same_as_dump = [](const std::string& document) {
    return SameNumbers(document) ==
           SameNumbers(json::parse(document).dump(1, ' ', false, json::error_handler_t::replace) +
                       "\n");
  };
  engine::Data data = engine::ReadData(Example("dnit2.dat"));
  // Quotes, a backslash, a control character and invalid UTF-8, escaped
  // and replaced.
  data.file =
      "a\"b\\c\x01"
      "d\xff\xfe"
      "e\xc3\xa9.dat";
  for (const engine::ExpressionInfo& x : engine::Expressions()) {
    engine::ModelDescription d = engine::Template(x.expression);
    d.fit.iterations = 20;
    const std::string document = engine::Fit(d, data).document;
    EXPECT_TRUE(same_as_dump(document)) << x.expression;
  }
  engine::ModelDescription d = Dnit2Model();
  d.g = 2.1;
  d.parameters.erase(d.parameters.begin());
  d.parameters[0].step = 0.0;  // held: undetermined lists, a null ci95
  EXPECT_TRUE(same_as_dump(engine::Fit(d, data).document));
  d.fit.iterations = 0;  // nulls for the Std. devn.
  EXPECT_TRUE(same_as_dump(engine::Fit(d, data).document));
  engine::FitOptions refine;
  refine.refine = true;
  EXPECT_TRUE(same_as_dump(engine::Fit(Dnit2Model(), data, refine).document));
  // One point: no degrees of freedom, statistics not numbers.
  const std::string one =
      engine::Fit(Dnit2Model(), engine::Data{"one.dat", {10.0}, {1e-3}}).document;
  EXPECT_TRUE(same_as_dump(one));
  EXPECT_NE(one.find("null"), std::string::npos);
  const json parsed = json::parse(engine::Fit(Dnit2Model(), data).document);
  EXPECT_EQ(parsed["data"]["file"],
            "a\"b\\c\x01"
            "d\xef\xbf\xbd\xef\xbf\xbd"
            "e\xc3\xa9.dat");
}

// Documents in turn in one thread, and the same in a thread of their own:
// other temperatures, the same count of them a bit apart, or fewer of them
// are written anew.
TEST(EngineFit, DocumentsInTurnWithOtherTemperatures) {
  const engine::Data a = engine::ReadData(Example("dnit2.dat"));
  engine::Data b = a;
  b.temperature.back() = std::nextafter(b.temperature.back(), 0.0);
  engine::Data c = engine::ReadData(Example("cuac.dat"));
  engine::Data first20 = a;
  first20.temperature.resize(20);
  first20.chi.resize(20);
  auto fresh = [](const engine::Data& d) {
    std::string document;
    std::thread([&] { document = engine::Fit(Dnit2Model(), d).document; }).join();
    return document;
  };
  const std::string first_a = engine::Fit(Dnit2Model(), a).document;
  const std::string doc_b = engine::Fit(Dnit2Model(), b).document;
  const std::string doc_c = engine::Fit(Dnit2Model(), c).document;
  ASSERT_EQ(a.temperature.size(), 29u);
  const std::string doc_20 = engine::Fit(Dnit2Model(), first20).document;
  EXPECT_EQ(engine::Fit(Dnit2Model(), a).document, first_a);
  EXPECT_EQ(first_a, fresh(a));
  EXPECT_EQ(doc_b, fresh(b));
  EXPECT_NE(doc_b, first_a);
  EXPECT_EQ(doc_c, fresh(c));
  EXPECT_EQ(doc_20, fresh(first20));
  EXPECT_EQ(json::parse(doc_b)["data"]["temperature"].back(), b.temperature.back());
  EXPECT_EQ(json::parse(doc_20)["data"]["temperature"], first20.temperature);
}

// Numbers in the document as the JSON library writes them: without an
// exponent while the point falls within 15 digits (".0" after a whole
// number) or up to three zeros after it; a sign of zero kept.
TEST(EngineFit, NumbersAsTheJsonLibraryWritesThem) {
  const std::vector<double> chi = {1.0,
                                   -7.25,
                                   0.00123,
                                   123.456,
                                   0.001,
                                   0.0001,
                                   0.00025,
                                   1e-05,
                                   -0.0,
                                   0.0,
                                   1e14,
                                   999999999999999.0,
                                   1e15,
                                   2.5e+20,
                                   5e-324,
                                   1.7976931348623157e308,
                                   1234567890123456.0};
  engine::Data data{"numbers.dat", std::vector<double>(chi.size()), chi};
  for (std::size_t i = 0; i < chi.size(); ++i) data.temperature[i] = 1.0 + i;
  engine::ModelDescription d = Dnit2Model();
  d.fit.iterations = 0;
  const std::string document = engine::Fit(d, data).document;
  std::size_t at = document.find("\"chi_raw\": [\n");
  ASSERT_NE(at, std::string::npos);
  for (double x : chi) {
    at = document.find_first_not_of(' ', document.find('\n', at) + 1);
    const std::size_t end = document.find_first_of(",\n", at);
    EXPECT_EQ(document.substr(at, end - at), json(x).dump()) << x;
  }
}

// What the last mutation round found unpinned, through the engine's API.
TEST(EngineFit, Edges) {
  struct Case {
    const char* what;
    std::function<void(engine::ModelDescription&, engine::Data&, engine::FitOptions&)> set;
    std::function<void(const engine::FitResult&, const json&)> check;
  };
  const std::vector<Case> cases = {
      {"a backslash in the data file's name",
       [](auto&, engine::Data& data, auto&) { data.file = "C:\\data\\dnit2.dat"; },
       [](const engine::FitResult&, const json& doc) {
         EXPECT_EQ(doc["data"]["file"], "C:\\data\\dnit2.dat");
       }},
      {"no iterations with refine: the starts, no refinement",
       [](engine::ModelDescription& d, auto&, engine::FitOptions& o) {
         d.fit.iterations = 0;
         o.refine = true;
       },
       [](const engine::FitResult& r, const json& doc) {
         EXPECT_FALSE(r.refined);
         EXPECT_EQ(r.method, "none: the starting values (no iterations)");
         EXPECT_EQ(r.values, r.start);
         EXPECT_EQ(doc["fit"].count("refinement"), 0u);
         EXPECT_EQ(doc["fit"]["success"], false);
         EXPECT_EQ(doc["fit"]["message"], "no fit: the values are the starts (iterations 0)");
         EXPECT_EQ(doc["fit"]["iterations"], 0);
       }},
      {"a refinement with a held parameter, whose standard error is not a number",
       [](engine::ModelDescription& d, auto&, engine::FitOptions& o) {
         d.parameters[2].step = 0.0;
         o.refine = true;
       },
       [](const engine::FitResult& r, const json& doc) {
         EXPECT_TRUE(r.refined);
         EXPECT_TRUE(std::isnan(r.std_error[2]));
         EXPECT_FALSE(r.sigma_estimated);
         EXPECT_EQ(doc["fit"]["sigma_estimated"], false);
         EXPECT_TRUE(doc["parameters"][0]["sigma"].is_null());
         EXPECT_EQ(r.statistics.held, (std::vector<bool>{false, false, true}));
         EXPECT_EQ(r.statistics.points, 29);
         EXPECT_EQ(doc["statistics"]["rank"], r.statistics.rank);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    engine::ModelDescription d = Dnit2Model();
    engine::Data data = engine::ReadData(Example("dnit2.dat"));
    engine::FitOptions options;
    c.set(d, data, options);
    const engine::FitResult r = engine::Fit(d, data, options);
    c.check(r, json::parse(r.document));
  }
}

// The fit settings a model accepts: any iterations (below 0 as the
// dialogue takes them), reqmin above 0, ncheck from 1.
TEST(EngineFit, TheRangesOfTheFitSettings) {
  struct Case {
    int iterations;
    double reqmin;
    int ncheck;
    const char* error;
  };
  for (const Case& c : std::vector<Case>{
           {0, 1e-16, 1, ""},
           {1, 1e-300, 1, ""},
           {-1, 1e-16, 1, ""},
           {200, 0.0, 1, "reqmin must be a number above 0"},
           {200, 1e-16, 0, "ncheck must be 1 or more"},
       }) {
    engine::ModelDescription d = Dnit2Model();
    d.fit = {c.iterations, c.reqmin, c.ncheck};
    EXPECT_EQ(ErrorOf<engine::ModelError>([&] { engine::Model{d}; }), c.error) << c.iterations;
  }
}

TEST(EngineFit, AStopFlagEndsTheSearch) {
  std::atomic<bool> stop{true};
  engine::FitOptions options;
  options.stop = &stop;
  const engine::FitResult r =
      engine::Fit(Dnit2Model(), engine::ReadData(Example("dnit2.dat")), options);
  EXPECT_TRUE(r.interrupted);
  EXPECT_NE(r.notes.at(0).find("stopped by Ctrl-C"), std::string::npos);
}

TEST(EngineFit, ProgressLinesAndThePicture) {
  std::ostringstream progress;
  engine::FitOptions options;
  options.progress = &progress;
  options.plot = 3;
  options.report = false;
  const engine::FitResult r =
      engine::Fit(Dnit2Model(), engine::ReadData(Example("dnit2.dat")), options);
  EXPECT_EQ(progress.str().substr(0, 60),
            "        g-value   J-BB      COEFF1    L.S.Error\n   1    2.00");
  EXPECT_NE(progress.str().find("Iteration is completed.  Calculation ESDs"), std::string::npos);
  EXPECT_EQ(r.report, "");
  EXPECT_EQ(r.svg.substr(0, 5), "<?xml");
  EXPECT_NE(r.svg.find("</svg>"), std::string::npos);
  options.plot = 0;
  EXPECT_EQ(engine::Fit(Dnit2Model(), engine::ReadData(Example("dnit2.dat")), options).svg, "");

  // Data that cannot be drawn cost the fit nothing: the figure says why.
  options.plot = 1;
  const engine::Data one{"one.dat", {10.0}, {1e-3}};
  const engine::FitResult single = engine::Fit(Dnit2Model(), one, options);
  EXPECT_NE(single.svg.find("No figure: there is one point to plot (T = 10 K)."),
            std::string::npos);
  EXPECT_EQ(single.values.size(), 3u);
}

// Two fits in two threads at once give what they give one after the other.
TEST(EngineThreads, FitsInThreadsEqualFitsInTurn) {
  const engine::Model a(Dnit2Model());
  engine::ModelDescription other = engine::Template(16);
  other.corrections.tip = 1.0E-4;
  const engine::Model b(other);
  const engine::Data dnit2 = engine::ReadData(Example("dnit2.dat"));
  const engine::Data cuac = engine::ReadData(Example("cuac.dat"));
  engine::FitOptions options;
  options.plot = 3;
  std::vector<std::pair<const engine::Model*, const engine::Data*>> jobs = {
      {&a, &dnit2}, {&b, &cuac}, {&a, &cuac}, {&b, &dnit2}};
  std::vector<engine::FitResult> in_turn;
  for (const auto& [m, d] : jobs) in_turn.push_back(engine::Fit(*m, *d, options));
  std::vector<engine::FitResult> at_once(jobs.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    threads.emplace_back(
        [&, i] { at_once[i] = engine::Fit(*jobs[i].first, *jobs[i].second, options); });
  }
  for (std::thread& t : threads) t.join();
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    EXPECT_EQ(at_once[i].values, in_turn[i].values) << i;
    EXPECT_EQ(at_once[i].document, in_turn[i].document) << i;
    EXPECT_EQ(at_once[i].report, in_turn[i].report) << i;
    EXPECT_EQ(at_once[i].svg, in_turn[i].svg) << i;
  }
}

// Layouts met for the first time in two threads at once: each is parsed
// into the shared cache while the other thread reads or adds another.
TEST(EngineThreads, LayoutsFirstWrittenInTwoThreads) {
  class Text : public format::RecordSink {
   public:
    void Record(std::string_view record) override { text.append(record).append("\n"); }
    std::string text;
  };
  auto write = [](int first, Text& out) {
    for (int w = first; w < first + 200; ++w) {
      format::Write(out,
                    "(1X,'thread layout',I" + std::to_string(w % 20 + 2) + ",F" +
                        std::to_string(w + 10) + ".3)",
                    {w % 7, 0.5 * w});
    }
  };
  Text a, b, a_again, b_again;
  std::thread t([&] { write(1000, a); });
  write(2000, b);
  t.join();
  write(1000, a_again);
  write(2000, b_again);
  EXPECT_EQ(a.text, a_again.text);
  EXPECT_EQ(b.text, b_again.text);
}

}  // namespace
