// SUSCEP.OUT and SUSCEP.JSON after the iteration dialogue, and the notes.
#include <ostream>

#include "driver/session.h"
#include "format/whole_file.h"

namespace driver {

void WriteReport(Session& s) {
  // Cut short (the console input ended at the pause, a write failed), the
  // report is not put in place: the file keeps the last whole report.
  format::RecordFile file(s.report_path);
  engine::WriteReport(s, s.ev, file, &s.con, [&s] { s.con.ReadLine(); });
  file.Close();
}

void WriteResults(Session& s) {
  const engine::Findings findings = engine::Analyse(s);
  format::WriteWholeFile(s.result_path, engine::ResultDocument(s, findings));
  if (s.notes != nullptr) *s.notes << engine::Notes(s, findings, s.result_path) << std::flush;
}

}  // namespace driver
