#include "DiagEventLog.h"

namespace kelvora_core {

// Interim: reports are dropped until the recorder lands.
void DiagEventLog::diagEvent(DiagEvent event) { diagEvent(event, std::string()); }
void DiagEventLog::diagEvent(DiagEvent, const std::string&) {}
void DiagEventLog::startNewLog() {}
void DiagEventLog::endLogging() {}
void DiagEventLog::addDiagEventLogObserver(DiagEventLogObserver*) {}
void DiagEventLog::removeDiagEventLogObserver(DiagEventLogObserver*) {}
const char* DiagEventLog::getLogFileName() { return ""; }

} // namespace kelvora_core
