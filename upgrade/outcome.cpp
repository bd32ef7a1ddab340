#include "upgrade/outcome.h"


namespace ramtune::upgrade {

const char* OutcomeWords(RunOutcome outcome) { return Row(outcome).words; }

bool OutcomeOfWords(const std::string& words, RunOutcome* outcome) {
  for (const OutcomeRow& row : kOutcomeTable) {
    if (words != row.words) continue;
    *outcome = row.outcome;
    return true;
  }
  return false;
}

std::string ExitStatusHelp() {
  std::string text = "Exit status:\n";
  int last = -1;
  for (const OutcomeRow& row : kOutcomeTable) {
    const std::string number = std::to_string(row.status);
    std::string lines = row.status == last ? std::string(6, ' ') : std::string(4 - number.size(), ' ') + number + "  ";
    for (const char* c = row.help; *c != '\0'; ++c) lines += *c == '\n' ? std::string("\n      ") : std::string(1, *c);
    text += lines + "\n";
    last = row.status;
  }
  return text;
}

std::string ExitStatusMarkdown() {
  std::string text = "| Status | Meaning |\n|---|---|\n";
  std::string pending;
  int last = -1;
  auto flush = [&] {
    if (last >= 0) text += "| " + std::to_string(last) + " | " + pending + " |\n";
  };
  for (const OutcomeRow& row : kOutcomeTable) {
    std::string help;
    for (const char* c = row.help; *c != '\0'; ++c) help += *c == '\n' ? ' ' : *c;
    if (row.status == last) {
      pending += (pending.back() == ',' || pending.back() == ';' ? " " : "; ") + help;
      continue;
    }
    flush();
    pending = help;
    last = row.status;
  }
  flush();
  return text;
}

const char* StatusSummary(int status) {
  for (const OutcomeRow& row : kOutcomeTable) {
    if (row.status == status) return row.summary;
  }
  return "the program ended";
}

int StatusWeight(int status) {
  int weight = 0;
  for (const OutcomeRow& row : kOutcomeTable) {
    if (row.status == status && row.benchWeight > weight) weight = row.benchWeight;
  }
  return weight;
}

int SessionExitStatus(RunOutcome outcome, bool unitChanged) {
  if (unitChanged && outcome != RunOutcome::Completed) return ExitStatusOf(RunOutcome::UnitChanged);
  return ExitStatusOf(outcome);
}

}  // namespace ramtune::upgrade
