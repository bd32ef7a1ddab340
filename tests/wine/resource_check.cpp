// Reads the resources back out of the built Ramtune.exe and compares them
// with the control tables the dialogs must follow: every template's
// controls in order with id, class, text, position, size, initial state and
// the style bits that make the kind of control (unsorted list, read-only
// multi-line edit, drop-down list, group box, bitmap picture); the dialogs'
// sizes, captions and frames; the four status pictures at 117 x 36 pixels;
// the icon and the About entry of the system menu.
//
//   resource_check PATH\Ramtune.exe
//
// Catches what compiles silently: a wrong number in the .rc, a control in
// the wrong order, or a resource-compiler default (sorted list box, visible
// control) where the table wants something else.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Fail(const std::string& what) {
  std::printf("FAIL %s\n", what.c_str());
  ++failures;
}

constexpr int kAnySize = -1;

struct WantControl {
  int id;
  const char* cls;
  const char* text;  // nullptr: not checked
  int x, y, cx, cy;  // cx, cy kAnySize: sized by its content
  bool visible;
  bool disabled;
  DWORD styleMask;   // these bits of the style must equal styleValue
  DWORD styleValue;
};

struct WantDialog {
  int templateId;
  const char* caption;  // nullptr: not checked
  int cx, cy;           // kAnySize: not checked
  bool systemMenu;
  std::vector<WantControl> controls;
};

struct Control {
  DWORD style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string cls;
  std::string text;
};

struct Template {
  DWORD style = 0;
  int cx = 0, cy = 0;
  std::string caption;
  std::vector<Control> controls;
};

// A cursor over the template's 16-bit words.
class Reader {
 public:
  explicit Reader(const BYTE* p) : p_(p), start_(p) {}
  WORD Word() {
    WORD w;
    memcpy(&w, p_, 2);
    p_ += 2;
    return w;
  }
  DWORD Dword() {
    DWORD d;
    memcpy(&d, p_, 4);
    p_ += 4;
    return d;
  }
  short Short() { return static_cast<short>(Word()); }
  std::string String() {
    std::string s;
    for (WORD c = Word(); c != 0; c = Word()) s += static_cast<char>(c < 128 ? c : '?');
    return s;
  }
  // A name or an ordinal ("#123"), or empty.
  std::string NameOrOrdinal() {
    WORD first;
    memcpy(&first, p_, 2);
    if (first == 0) {
      p_ += 2;
      return std::string();
    }
    if (first == 0xFFFF) {
      p_ += 2;
      return "#" + std::to_string(Word());
    }
    return String();
  }
  void Skip(size_t n) { p_ += n; }
  void AlignDword() {
    while ((p_ - start_) % 4 != 0) ++p_;
  }

 private:
  const BYTE* p_;
  const BYTE* start_;
};

std::string ClassName(const std::string& raw) {
  static const char* const predefined[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox"};
  if (raw.size() > 1 && raw[0] == '#') {
    const int ordinal = std::stoi(raw.substr(1));
    if (ordinal >= 0x80 && ordinal <= 0x85) return predefined[ordinal - 0x80];
  }
  return raw;
}

bool SameText(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

bool LoadTemplate(HMODULE module, int id, Template* out) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
  if (found == nullptr) return false;
  const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  Reader r(data);
  const WORD version = r.Word();
  const WORD signature = r.Word();
  if (version != 1 || signature != 0xFFFF) {
    Fail("template " + std::to_string(id) + " is not an extended template");
    return false;
  }
  r.Dword();  // help id
  r.Dword();  // extended style
  out->style = r.Dword();
  const int count = r.Word();
  r.Short();
  r.Short();
  out->cx = r.Short();
  out->cy = r.Short();
  r.NameOrOrdinal();  // menu
  r.NameOrOrdinal();  // window class
  out->caption = r.String();
  if (out->style & (DS_SETFONT | DS_SHELLFONT)) {
    r.Word();  // point size
    r.Word();  // weight
    r.Skip(2); // italic, character set
    r.String();
  }
  for (int i = 0; i < count; ++i) {
    r.AlignDword();
    Control c;
    r.Dword();  // help id
    r.Dword();  // extended style
    c.style = r.Dword();
    c.x = r.Short();
    c.y = r.Short();
    c.cx = r.Short();
    c.cy = r.Short();
    c.id = static_cast<int>(static_cast<short>(LOWORD(r.Dword())));
    c.cls = ClassName(r.NameOrOrdinal());
    c.text = r.NameOrOrdinal();
    const WORD extra = r.Word();
    r.Skip(extra);
    out->controls.push_back(c);
  }
  return true;
}

void CheckDialog(HMODULE module, const WantDialog& want) {
  const std::string where = "template " + std::to_string(want.templateId);
  Template t;
  if (!LoadTemplate(module, want.templateId, &t)) {
    Fail(where + " missing");
    return;
  }
  if (want.caption != nullptr && t.caption != want.caption) Fail(where + " caption '" + t.caption + "'");
  if (want.cx != kAnySize && (t.cx != want.cx || t.cy != want.cy)) {
    Fail(where + " size " + std::to_string(t.cx) + "x" + std::to_string(t.cy));
  }
  if (((t.style & WS_SYSMENU) != 0) != want.systemMenu) Fail(where + " system-menu box");
  if ((t.style & WS_CAPTION) != WS_CAPTION) Fail(where + " has no title bar");
  if ((t.style & DS_MODALFRAME) == 0) Fail(where + " has no modal frame");
  if (t.controls.size() != want.controls.size()) {
    Fail(where + " has " + std::to_string(t.controls.size()) + " controls, wants " +
         std::to_string(want.controls.size()));
    return;
  }
  for (size_t i = 0; i < t.controls.size(); ++i) {
    const Control& c = t.controls[i];
    const WantControl& w = want.controls[i];
    const std::string at = where + " control #" + std::to_string(i + 1) + " (id " + std::to_string(w.id) + ")";
    if (c.id != w.id) Fail(at + ": id " + std::to_string(c.id));
    if (!SameText(c.cls, w.cls)) Fail(at + ": class " + c.cls);
    if (w.text != nullptr && c.text != w.text) Fail(at + ": text '" + c.text + "'");
    if (c.x != w.x || c.y != w.y) Fail(at + ": position " + std::to_string(c.x) + "," + std::to_string(c.y));
    if (w.cx != kAnySize && (c.cx != w.cx || c.cy != w.cy)) {
      Fail(at + ": size " + std::to_string(c.cx) + "x" + std::to_string(c.cy));
    }
    if (((c.style & WS_VISIBLE) != 0) != w.visible) Fail(at + (w.visible ? ": hidden" : ": visible"));
    if (((c.style & WS_DISABLED) != 0) != w.disabled) Fail(at + (w.disabled ? ": enabled" : ": disabled"));
    if ((c.style & w.styleMask) != w.styleValue) {
      char bits[64];
      std::snprintf(bits, sizeof bits, ": style %08lx", static_cast<unsigned long>(c.style));
      Fail(at + bits);
    }
  }
}

void CheckBitmap(HMODULE module, int id) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(2));  // RT_BITMAP
  if (found == nullptr) {
    Fail("bitmap " + std::to_string(id) + " missing");
    return;
  }
  const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, found)));
  const LONG height = info->biHeight < 0 ? -info->biHeight : info->biHeight;
  if (info->biWidth != 117 || height != 36) {
    Fail("bitmap " + std::to_string(id) + " is " + std::to_string(info->biWidth) + "x" +
         std::to_string(height));
  }
}

// Style bits that make the kind of each control.
constexpr DWORD kButtonType = 0x0F;  // BS_TYPEMASK
constexpr DWORD kStaticType = SS_TYPEMASK;
constexpr DWORD kListKind = LBS_SORT | WS_VSCROLL | WS_BORDER;
constexpr DWORD kComboKind = 0x3 | CBS_SORT | WS_VSCROLL;
constexpr DWORD kEditKind = ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL | ES_WANTRETURN | ES_AUTOHSCROLL;

}  // namespace

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : "Ramtune.exe";
  HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    std::printf("FAIL cannot open %s (error %lu)\n", path, static_cast<unsigned long>(GetLastError()));
    return 1;
  }

  const char* const title = "QARV LM-7210A/LM-7210B DDR Configuration Upgrade Tool";
  const std::vector<WantDialog> dialogs = {
      {102, nullptr, kAnySize, kAnySize, false,
       {
           {1008, "msctls_progress32", nullptr, 7, 9, 157, 23, true, false, 0, 0},
           {1007, "Static", nullptr, 170, 8, kAnySize, kAnySize, true, false, kStaticType, SS_BITMAP},
           {-1, "Button", nullptr, 168, 3, 81, 32, false, false, kButtonType, BS_GROUPBOX},
           {1004, "Button", "RUN SCRIPT", 199, 20, 50, 14, false, true, kButtonType, BS_PUSHBUTTON},
           {1000, "ListBox", nullptr, 7, 41, 242, 65, true, false, kListKind, WS_VSCROLL | WS_BORDER},
           {1003, "Static", nullptr, 13, 45, 127, 8, false, false, kStaticType, SS_LEFT},
           {1001, "Static", "Model:", 7, 121, 40, 8, false, false, kStaticType, SS_LEFT},
           {1002, "Static", "MAC Address:", 225, 125, 24, 8, false, false, kStaticType, SS_LEFT},
           {1005, "SysIPAddress32", nullptr, 7, 115, 29, 16, false, false, 0, 0},
           {1, "Button", "&Retry", 55, 115, 57, 16, true, false, kButtonType, BS_PUSHBUTTON},
           {2, "Button", "&Exit", 143, 115, 57, 16, true, false, kButtonType, BS_PUSHBUTTON},
       }},
      {134, title, 332, 184, true,
       {
           {-1, "Button", "Warnings", 7, 3, 318, 158, true, false, kButtonType, BS_GROUPBOX},
           {1006, "Edit", nullptr, 13, 18, 306, 89, true, false, kEditKind,
            ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL},
           {1014, "Edit", nullptr, 13, 115, 306, 24, true, false, kEditKind,
            ES_MULTILINE | ES_READONLY | WS_BORDER | ES_WANTRETURN | ES_AUTOHSCROLL},
           {-1, "Static", "Click yes to continue,click no to exit.", 13, 148, 119, 8, true, false,
            kStaticType, SS_LEFT},
           {1010, "Button", "Yes", 126, 166, 33, 11, true, false, kButtonType, BS_PUSHBUTTON},
           {1011, "Button", "No", 172, 166, 33, 11, true, false, kButtonType, BS_PUSHBUTTON},
       }},
      {138, "Select Device", 160, 54, true,
       {
           {-1, "Button", "LM-7210A / LM-7210B", 7, 3, 146, 31, true, false, kButtonType, BS_GROUPBOX},
           {-1, "Static", "IP Address", 10, 19, 36, 8, true, false, kStaticType, SS_LEFT},
           {1015, "ComboBox", nullptr, 49, 17, 98, 39, true, false, kComboKind,
            CBS_DROPDOWNLIST | WS_VSCROLL},
           {1, "Button", "OK", 62, 36, 36, 11, true, false, kButtonType, BS_DEFPUSHBUTTON},
       }},
  };
  for (const WantDialog& d : dialogs) CheckDialog(module, d);

  // The About box: a line with the product name and "Version 1.0", and OK.
  Template about;
  if (!LoadTemplate(module, 100, &about)) {
    Fail("template 100 missing");
  } else {
    bool version = false, ok = false;
    for (const Control& c : about.controls) {
      if (c.text.find("Ramtune") != std::string::npos && c.text.find("Version 1.0") != std::string::npos) version = true;
      if (c.id == IDOK && c.text == "OK") ok = true;
    }
    if (!version || !ok) Fail("About box without the version line or OK");
  }

  for (int id : {130, 131, 132, 133}) CheckBitmap(module, id);
  if (FindResourceA(module, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14)) == nullptr) {  // RT_GROUP_ICON
    Fail("icon 128 missing");
  }
  char about_entry[128] = "";
  if (LoadStringA(module, 101, about_entry, sizeof about_entry) == 0) Fail("string 101 missing");

  if (failures == 0) {
    std::printf("resources of %s: templates 100 102 134 138, bitmaps 130-133, icon 128, string 101 '%s': OK\n",
                path, about_entry);
    return 0;
  }
  std::printf("%d resource check(s) failed\n", failures);
  return 1;
}
