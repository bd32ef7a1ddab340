// The station window of `Ramtune.exe /all` (template IDD_STATION): one row
// per network adapter of the PC, Start and Stop, the session's counts. The
// station's course (bench::RunStation) runs on a thread of its own and
// tells the window what changed; the window draws bench::BoardRows and asks
// the station's questions. Nothing here decides anything about a unit.
#pragma once

#include <string>
#include <vector>

#include "app/bench/run.h"
#include "app/bench/station_board.h"
#include "app/win32/dialog_base.h"

namespace ramtune::win32 {

class StationWindow : public Dialog, public bench::View {
 public:
  // `setup`: the station's course without its links (they come from the
  // ticked slots); `slots`: every adapter of the PC; `beep`: a short sound
  // at the end of each unit.
  StationWindow(bench::Setup setup, std::vector<bench::StationSlot> slots, bool beep);
  ~StationWindow() override;

  // The station's exit status once it ran (the bench's rule), else 0.
  int Status() const { return status_; }

  // bench::View, called on the station's thread.
  void Line(const std::string& text) override;
  void UnitMessage(const bench::UnitRecord& unit, const std::string& line) override;
  void Units(const std::vector<bench::UnitRecord>&, int64_t) override {}
  bool Confirm(const std::string& question) override;
  void Slots(const std::vector<bench::SlotRecord>& slots, const bench::SessionCounts& counts,
             int64_t nowMs) override;
  void UnitEnded(const bench::UnitRecord& unit) override;

 protected:
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

 private:
  class System;

  void Start();
  void Stop();
  // The close box, Esc: while units run, asks, then stops and closes once they have ended.
  void Close();
  void StationEnded(int status);
  void SetStage(bench::StationStage stage);
  // The list's columns and one row per slot (station_rows.cpp, with the drawing).
  void InsertRows();
  // Redraws every row from the last slots the station told (or the idle slots).
  void Redraw();
  LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
  void ShowRowMenu(int x, int y);
  // A restore (asked in person first) or a check of the row's unit, for the station to run.
  void Ask(const bench::SlotRecord& record, bool restore);
  // The station's record of the slot in row `row`; null when it has none.
  const bench::SlotRecord* RecordOf(int row) const;
  void SetNote(const std::string& text);

  bench::Setup setup_;
  const std::vector<bench::StationSlot> slots_;
  const bool beep_;
  System* system_;
  bench::StationStage stage_ = bench::StationStage::Ready;
  bool closeWhenEnded_ = false;
  int status_ = 0;
  HWND list_ = nullptr;
  // Every line of the station and of its runs, for the technician: the
  // window shows the last one only (ramtune_station_<time>.txt beside the logs).
  std::string logPath_;
  HICON icon_ = nullptr;

  // Written on the station's thread, read on the window's.
  platform::Lock lock_;
  std::vector<bench::SlotRecord> told_;
  bench::SessionCounts counts_;
  std::string line_;
  std::vector<bench::SlotRequest> requests_;

  std::vector<bench::SlotRecord> shown_;   // the window's copy of told_
  std::vector<bench::BoardRow> rows_;      // as drawn now, one per slot
};

}  // namespace ramtune::win32
