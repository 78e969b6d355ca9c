// The engine's model: built from a description or a model file with the
// dialogue's rules, its messages, its catalogue and its evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/internal.h"
#include "expressions/expressions.h"

namespace {

// The message of the ModelError that parsing `text` throws, "" if none.
std::string ParseError(const std::string& text, engine::Starts starts = engine::Starts::kStart) {
  try {
    engine::ParseModel(text, starts, "m.json");
  } catch (const engine::ModelError& e) {
    return e.what();
  }
  return "";
}

TEST(EngineModelFile, ErrorsSayWhatAndWhere) {
  EXPECT_EQ(ParseError("{\n \"model\": {\"expression\": 24,}\n}"),
            "m.json: parse error at line 2, column 29: syntax error while parsing object key - "
            "unexpected '}'; expected string literal");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24}, "colour": 1})"),
            "m.json: unknown key 'colour' in the top level (allowed: corrections, model, "
            "parameters, fit; ignored: format, version, program, data, statistics, "
            "minimum_check, curve)");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24, "terms": [{"function": 4, "J": 1}]}})"),
            "m.json: unknown key 'J' in 'model.terms[1]' (allowed: function, S, B, S1, S2, "
            "other_function, correction; ignored: name, other_name)");
  EXPECT_EQ(ParseError(R"({"model": {"expression": "24"}})"),
            "m.json: model.expression: must be an integer, not a string");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24.5}})"),
            "m.json: model.expression: must be an integer, not a number");
  EXPECT_EQ(ParseError(R"({"corrections": {"factor": null}, "model": {"expression": 24}})"),
            "m.json: corrections.factor: must be a number, not null");
  EXPECT_EQ(ParseError(R"({"model": {}})"),
            "m.json: model: give the 'expression' number or the 'terms'");
  EXPECT_EQ(ParseError(R"({"fit": {}})"), "m.json: no 'model' section");
  EXPECT_EQ(ParseError("[1]"), "m.json: the model file: must be an object, not an array");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24}, "fit": {"reqmin": 1e999}})"),
            "m.json: number overflow parsing '1e999'");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24, "terms": [{"function": 4,
             "correction": "theta"}, {"function": 1, "S": 0.5}]}})"),
            "m.json: model.terms[1].correction: 'theta' does not belong to function 4; its "
            "correction is 'zjp'");
}

TEST(EngineModelFile, TheDialoguesRulesAndWording) {
  EXPECT_EQ(ParseError(R"({"model": {"expression": 80}})"),
            "m.json: expression 80 is refused (Enter S.No. (1-99) for equation): 1-79 with a "
            "units digit that is not 0, or 90-99 with terms");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 20}})").empty(), false);
  EXPECT_EQ(ParseError(R"({"model": {"expression": -4}})").empty(), false);
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 11}]}})"),
            "m.json: term 1: function 11: Function not available in the list (1-10)");
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 2, "S": 3}]}})"),
            "m.json: term 1: zero-field spin S = 3 is not accepted: Enter Spin (1.0, 1.5, 2.0, "
            "or 2.5)");
  // The dialogue's rule, trunc(2S - 0.9): 1.2 counts as S = 1.
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 2, "S": 1.2}]}})"), "");
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 8, "S1": 0.5, "S2": 51}]}})"),
            "m.json: term 1: dimer spins S1 = 0.5, S2 = 51 are not accepted: each must lie in 0 "
            "to 50");
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 9, "other_function": 5}]}})"),
            "m.json: term 1: other_function 5 is not one of 1 (S1=S2=1 dimer with D), 2 (S=1/2 "
            "trimer), 3 (Hatfield's tetramer), 4 (Kahn's chain of dimers)");
  EXPECT_EQ(ParseError(R"({"model": {"terms": [{"function": 10, "correction": true}]}})"),
            "m.json: term 1: a Constant (DIM) term takes no correction");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24, "equation_type": 1}})"),
            "m.json: model.equation_type: expression 24 has equation type 2, not 1");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24, "equation_type": 2}})"), "");
  EXPECT_EQ(ParseError(R"({"model": {"equation_type": 4, "terms": [{"function": 4}]}})"),
            "m.json: equation type 4 is not 1, 2 or 3");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24, "terms": [{"function": 4}]}})"),
            "m.json: expression 24 has 2 terms with the functions 4 Bleaney-Bower, 1 Curie; the "
            "terms given do not match");
  const std::string many = R"({"model": {"terms": [)" + std::string(10, ' ') +
                           R"({"function": 9, "other_function": 3},
      {"function": 9, "other_function": 3}, {"function": 9, "other_function": 3}]}})";
  EXPECT_EQ(ParseError(many), "m.json: Minimisation parameters should not exceed 12");
  std::string eleven = R"({"model": {"terms": [)";
  for (int k = 0; k < 11; ++k) eleven += std::string(k ? "," : "") + R"({"function": 10})";
  EXPECT_EQ(ParseError(eleven + "]}}"), "m.json: No. of terms cannot be more than 10");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24}, "fit": {"reqmin": 0}})"),
            "m.json: reqmin must be a number above 0");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24}, "fit": {"iterations": -1}})"),
            "m.json: iterations must be 0 or more");
  EXPECT_EQ(ParseError(R"({"model": {"expression": 24}, "fit": {"ncheck": 0}})"),
            "m.json: ncheck must be 1 or more");
}

TEST(EngineModelFile, ParametersMatchTheModelByNameAndOrder) {
  const std::string head = R"({"model": {"expression": 24}, "parameters": )";
  EXPECT_EQ(ParseError(head + R"([{"name": "J-BB", "start": -1}]})"),
            "m.json: the parameters do not match the model: it has 3 (g-value, J-BB, COEFF1), "
            "in this order; the description gives 1 (J-BB)");
  EXPECT_EQ(ParseError(head + R"([{"name": "g-value", "start": 2}, {"name": "COEFF1", "start":
            1}, {"name": "J-BB", "start": 1}]})"),
            "m.json: the parameters do not match the model: it has 3 (g-value, J-BB, COEFF1), "
            "in this order; the description gives 3 (g-value, COEFF1, J-BB)");
  EXPECT_EQ(ParseError(head + R"([{"name": "g-value"}]})"),
            "m.json: parameters[1]: 'g-value' needs a 'start' (a number)");
  const std::string valued = head + R"([{"name": "g-value", "start": 2, "value": 2.1},
      {"name": "J-BB", "start": -100, "step": 0, "value": -120},
      {"name": "COEFF1", "start": 0.9, "value": null}]})";
  EXPECT_EQ(ParseError(valued, engine::Starts::kValue),
            "m.json: parameters[3]: 'COEFF1' needs a 'value' (a number)");
  const engine::ModelDescription d = engine::ParseModel(valued);
  ASSERT_EQ(d.parameters.size(), 3u);
  EXPECT_EQ(d.parameters[1].start, -100.0);
  EXPECT_EQ(d.parameters[1].step, 0.0);
  EXPECT_FALSE(d.parameters[0].step.has_value());
  const engine::Model m(d);
  EXPECT_EQ(m.steps(), (std::vector<double>{0.01 * 2, 0.0, 0.01 * 0.9}));
}

TEST(EngineModelFile, ATemplateReadsBackAsTheSameModel) {
  for (int mn : {1, 24, 59, 69, 78}) {
    SCOPED_TRACE(mn);
    const engine::ModelDescription t = engine::Template(mn);
    const engine::Model a(t), b(engine::ParseModel(engine::ModelText(t)));
    EXPECT_EQ(a.parameter_names(), b.parameter_names());
    EXPECT_EQ(a.starts(), b.starts());
    EXPECT_EQ(a.steps(), b.steps());
  }
  EXPECT_EQ(engine::Template(24).parameters[1].name, "J-BB");
  EXPECT_THROW(engine::Template(99), engine::ModelError);
  EXPECT_THROW(engine::Template(30), engine::ModelError);
}

// Every cut of a model file, and every byte of it changed to a few others,
// parses or is refused with a ModelError; nothing else escapes.
TEST(EngineModelFile, CutsAndChangedBytesAreRefusedCleanly) {
  const std::string text = engine::ModelText(engine::Template(59));
  int refused = 0;
  auto parse = [&refused](const std::string& t) {
    try {
      engine::ParseModel(t);
    } catch (const engine::ModelError&) {
      ++refused;
    }
  };
  for (std::size_t n = 0; n < text.size(); ++n) parse(text.substr(0, n));
  EXPECT_EQ(refused, static_cast<int>(text.size()) - 1);  // all but the cut of the last line end
  for (std::size_t i = 0; i < text.size(); ++i) {
    for (char c : {'9', '-', '"', '}', 'x', '\0'}) {
      std::string changed = text;
      changed[i] = c;
      parse(changed);
    }
  }
}

TEST(EngineCatalogue, FunctionsAndExpressions) {
  const std::vector<engine::FunctionInfo> f = engine::Functions();
  ASSERT_EQ(f.size(), 13u);
  EXPECT_EQ(f[6].parameters, (std::vector<std::string>{"J-MBF", "ALFA-MBF"}));
  EXPECT_EQ(f[10].parameters,
            (std::vector<std::string>{"J1-Tetra", "J2-Tetra", "J3-Tetra", "J4-Tetra"}));
  EXPECT_EQ(f[0].correction, "THETA");
  EXPECT_EQ(f[12].correction, "");
  const std::vector<engine::ExpressionInfo> e = engine::Expressions();
  ASSERT_EQ(e.size(), 72u);
  EXPECT_EQ(e[0].expression, 1);
  const engine::ExpressionInfo& bb = e[21];
  EXPECT_EQ(bb.expression, 24);
  EXPECT_EQ(bb.equation_type, 2);
  EXPECT_EQ(bb.functions, (std::vector<int>{4, 1}));
  EXPECT_EQ(bb.parameters, (std::vector<std::string>{"g-value", "J-BB", "COEFF1"}));
}

TEST(EngineModel, EvaluatesAsTheEvaluatorDoes) {
  engine::ModelDescription d = engine::Template(24);
  d.corrections.tip = 1.0E-4;
  d.corrections.factor = 2.0;
  d.terms[0].correction = true;
  d.parameters.clear();
  const engine::Model m(d);
  EXPECT_EQ(m.parameter_names(), (std::vector<std::string>{"g-value", "J-BB", "Z*JP", "COEFF1"}));
  const std::vector<double> T = {2.0, 10.0, 50.0, 300.0};
  const std::vector<double> p = {2.1, -150.0, -2.0, 0.98};
  const std::vector<double> chi = m.Evaluate(T, p);
  expressions::Evaluation e;
  e.model = &m.built().fm;
  e.TIPADD = 2.0 * 1.0E-4;
  expressions::SetConstants(e);
  const std::vector<std::vector<double>> terms = m.Terms(T, p);
  ASSERT_EQ(terms.size(), 2u);
  for (std::size_t i = 0; i < T.size(); ++i) {
    EXPECT_EQ(chi[i], expressions::Evaluate(e, p.data(), T[i])) << i;
    EXPECT_EQ(chi[i], e.TIPADD + (0.0 + terms[0][i] + terms[1][i])) << i;
  }
  EXPECT_THROW(m.Evaluate(T, {2.0}), engine::ModelError);
}

}  // namespace
