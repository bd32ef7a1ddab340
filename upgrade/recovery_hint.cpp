#include "upgrade/recovery_hint.h"

namespace ramtune::upgrade {

std::string QuoteForShell(const std::string& text, bool commandPrompt) {
  // No Windows path can hold a double quote.
  if (commandPrompt) return "\"" + text + "\"";
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string RestoreCommandLine(const Settings& settings, const std::string& dataLog,
                               const std::string& interfaceArg) {
  const RestoreCommandStyle& style = settings.RestoreCommand;
  auto quote = [&](const std::string& text) { return QuoteForShell(text, style.commandPrompt); };
  std::string line = (style.commandPrompt ? "cd /d " : "cd ") + quote(settings.RunFolder()) + " && " +
                     quote(settings.ProgramPath) + " " + style.restoreOption + " " + quote(dataLog);
  if (!interfaceArg.empty()) line += " " + style.interfaceOption + " " + quote(interfaceArg);
  return line;
}

std::vector<std::string> RecoveryHintLines(const Settings& settings, const ChangedUnit& unit,
                                           const std::string& interfaceArg) {
  std::vector<std::string> lines{
      "[System]-This unit's values are kept in the Data log " + unit.dataLog + ". To write them back, run: " +
          RestoreCommandLine(settings, unit.dataLog, interfaceArg),
      "[System]-Do not start a new upgrade of this unit: it would be reported as up to date."};
  if (!unit.identityLog.empty()) {
    lines.push_back("[System]-The values this unit held before the restore, its own MAC among them, are kept only in " +
                    unit.identityLog + ".");
  }
  return lines;
}

}  // namespace ramtune::upgrade
