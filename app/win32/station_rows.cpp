// The station window's list: its columns, one row per slot, and how a row
// is drawn (its colour, and the progress bar in its cell).
#include <string>

#include "app/win32/station_window.h"
#include "platform/platform.h"
#include "res/resource.h"

namespace ramtune::win32 {
namespace {

struct Column {
  const char* title;
  int width;
};
// Pixels; the last column takes the rest of the list's width.
const Column kColumns[] = {{"Slot", 84}, {"State", 58}, {"MAC", 104}, {"Model", 62}, {"Progress", 92},
                           {"Phase", 70}, {"Elapsed", 56}, {"Result", 170}};
constexpr int kProgressColumn = 4;

COLORREF ToneColour(bench::RowTone tone) {
  switch (tone) {
    case bench::RowTone::Pass: return RGB(198, 239, 206);
    case bench::RowTone::Fail: return RGB(255, 199, 206);
    case bench::RowTone::Unfinished: return RGB(255, 235, 156);
    case bench::RowTone::Plain: break;
  }
  return GetSysColor(COLOR_WINDOW);
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  ListView_SetItemText(list, row, column, const_cast<char*>(text.c_str()));
}

}  // namespace

void StationWindow::InsertRows() {
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES);
  const int columns = static_cast<int>(sizeof kColumns / sizeof kColumns[0]);
  for (int i = 0; i < columns; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<char*>(kColumns[i].title);
    column.cx = kColumns[i].width;
    ListView_InsertColumn(list_, i, &column);
  }
  ListView_SetColumnWidth(list_, columns - 1, LVSCW_AUTOSIZE_USEHEADER);
  for (size_t i = 0; i < slots_.size(); ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = const_cast<char*>(slots_[i].name.c_str());
    ListView_InsertItem(list_, &item);
    // An adapter without an address cannot run a unit until it has one.
    ListView_SetCheckState(list_, static_cast<int>(i), !slots_[i].link.empty() && slots_[i].link != slots_[i].name);
  }
}

const bench::SlotRecord* StationWindow::RecordOf(int row) const {
  if (row < 0 || row >= static_cast<int>(slots_.size())) return nullptr;
  for (const bench::SlotRecord& record : shown_) {
    if (record.link == slots_[row].link) return &record;
  }
  return nullptr;
}

void StationWindow::Redraw() {
  const int64_t now = platform::ProcessClockMs();
  rows_.clear();
  for (size_t i = 0; i < slots_.size(); ++i) {
    const bench::SlotRecord* record = RecordOf(static_cast<int>(i));
    bench::BoardRow row;
    if (record != nullptr) {
      row = bench::BoardRows({*record}, now).front();
    } else {
      row.slot = slots_[i].name;
      const bool ticked = ListView_GetCheckState(list_, static_cast<int>(i)) != FALSE;
      row.state = slots_[i].link == slots_[i].name ? "no address" : !ticked ? "left out" : "ready";
      row.result = slots_[i].hasLink ? "" : "no link";
    }
    rows_.push_back(row);
    const std::string cells[] = {row.slot, row.state, row.mac, row.model, "", row.phase, row.elapsed, row.result};
    for (int column = 0; column < static_cast<int>(sizeof cells / sizeof cells[0]); ++column) {
      SetCell(list_, static_cast<int>(i), column, cells[column]);
    }
  }
  platform::LockGuard guard(lock_);
  SetDlgItemTextA(hwnd(), IDC_STATION_COUNTS, bench::CountsLine(counts_).c_str());
}

// The row's colour by its result, and the progress bar drawn into its cell
// (a list view has no progress control of its own).
LRESULT StationWindow::CustomDraw(NMLVCUSTOMDRAW* draw) {
  const DWORD stage = draw->nmcd.dwDrawStage;
  if (stage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
  const int row = static_cast<int>(draw->nmcd.dwItemSpec);
  const bool known = row >= 0 && row < static_cast<int>(rows_.size());
  if (stage == CDDS_ITEMPREPAINT) return CDRF_NOTIFYSUBITEMDRAW;
  if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
    draw->clrTextBk = known ? ToneColour(rows_[row].tone) : GetSysColor(COLOR_WINDOW);
    draw->clrText = GetSysColor(COLOR_WINDOWTEXT);
    return draw->iSubItem == kProgressColumn && known && rows_[row].bar ? CDRF_NOTIFYPOSTPAINT : CDRF_DODEFAULT;
  }
  if (stage != (CDDS_ITEMPOSTPAINT | CDDS_SUBITEM) || !known) return CDRF_DODEFAULT;
  RECT cell{};
  if (!ListView_GetSubItemRect(list_, row, kProgressColumn, LVIR_BOUNDS, &cell)) return CDRF_DODEFAULT;
  HDC dc = draw->nmcd.hdc;
  InflateRect(&cell, -3, -3);
  RECT filled = cell;
  filled.right = cell.left + (cell.right - cell.left) * rows_[row].percent / 100;
  HBRUSH bar = CreateSolidBrush(rows_[row].tone == bench::RowTone::Plain ? RGB(6, 176, 37)
                                                                          : RGB(96, 96, 96));
  FillRect(dc, &filled, bar);
  DeleteObject(bar);
  FrameRect(dc, &cell, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  const std::string percent = std::to_string(rows_[row].percent) + " %";
  SetBkMode(dc, TRANSPARENT);
  DrawTextA(dc, percent.c_str(), -1, &cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  return CDRF_DODEFAULT;
}

}  // namespace ramtune::win32
