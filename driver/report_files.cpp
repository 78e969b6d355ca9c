// SUSCEP.OUT and SUSCEP.JSON after the iteration dialogue, and the notes.
#include <optional>
#include <ostream>
#include <string>

#include "driver/session.h"
#include "format/whole_file.h"

namespace driver {
namespace {

// SUSCEP.OUT and SUSCEP.JSON, whose failures wait for the console part of the
// report: files that cannot be made or written never hide a finished fit.
// After the first failure nothing more is written to either file.
class ReportFiles : public format::RecordSink {
 public:
  ReportFiles(const std::string& report_path, const std::string& result_path) {
    Try([&] {
      report_.emplace(report_path);
      result_.emplace(result_path);
    });
  }
  // A record of SUSCEP.OUT.
  void Record(std::string_view record) override {
    if (ok()) Try([&] { report_->Record(record); });
  }
  // Writes SUSCEP.JSON and puts both files in place together.
  void Commit(const std::string& result_text) {
    if (ok()) {
      Try([&] {
        result_->Write(result_text);
        format::CommitTogether({&report_->file(), &*result_});
      });
    }
  }
  bool ok() const { return failure_.empty(); }
  // The first failure, thrown once the console has the report.
  void ThrowFailure() const {
    if (!ok()) throw format::RunTimeError(failure_);
  }

 private:
  template <typename F>
  void Try(F f) {
    try {
      f();
    } catch (const format::RunTimeError& e) {
      failure_ = e.what();
      report_.reset();
      result_.reset();
    }
  }

  std::optional<format::RecordFile> report_;
  std::optional<format::WholeFile> result_;
  std::string failure_;
};

}  // namespace

void WriteNotes(const Session& s, const FitAnalysis& found) {
  if (s.notes != nullptr) *s.notes << engine::Notes(s, found, s.result_path) << std::flush;
}

void WriteReport(Session& s, const FitAnalysis& found) {
  // Cut short (a write failed), neither file is put in place: both keep the
  // last whole pair; the failure is thrown once the console has the report.
  ReportFiles files(s.report_path, s.result_path);
  // The file's rest and the result file from a copy of the evaluation state
  // without a console: the same values as the console's evaluations below,
  // and the result file starts from the term values they leave behind.
  expressions::Evaluation after = engine::ReportFile(s, &files, &s.con);
  if (files.ok()) files.Commit(engine::ResultDocument(s, after, found));
  WriteNotes(s, found);

  s.con.Free({"Press RETURN key"});
  s.con.ReadLine();
  engine::ShowReportRest(s, s.con, s.ev);
  files.ThrowFailure();
}

}  // namespace driver
