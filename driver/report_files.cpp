// SUSCEP.OUT and SUSCEP.JSON after the iteration dialogue, and the notes.
#include <ostream>

#include "driver/session.h"
#include "format/whole_file.h"

namespace driver {

void WriteNotes(const Session& s, const FitAnalysis& found) {
  if (s.notes != nullptr) *s.notes << engine::Notes(s, found, s.result_path) << std::flush;
}

void WriteReport(Session& s, const FitAnalysis& found) {
  // Cut short (a write failed), neither file is put in place: both keep the
  // last whole pair.
  format::RecordFile file(s.report_path);
  format::WholeFile result(s.result_path);
  engine::WriteReportHead(s, file, &s.con);
  // The file's rest and the result file from a copy of the evaluation state
  // without a console: the same values as the console's evaluations below,
  // and the result file starts from the term values they leave behind.
  expressions::Evaluation quiet = s.ev;
  quiet.console = nullptr;
  engine::WriteReportRest(s, &file, quiet);
  result.Write(engine::ResultDocument(s, quiet, found));
  format::CommitTogether({&file.file(), &result});
  WriteNotes(s, found);

  s.con.Free({"Press RETURN key"});
  s.con.ReadLine();
  engine::ShowReportRest(s, s.con, s.ev);
}

}  // namespace driver
