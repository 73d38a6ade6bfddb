// A host of the Microsoft C++ ABI for the Windows add-in. It loads the DLL,
// makes a driver object through the exports and drives it only through the
// interface classes of addin_interfaces.h, whose tables the compiler lays out;
// the memory manager and the connection that it hands over are C++ objects of
// the same kind. On x86 every call is checked to leave the stack pointer
// where it was: the methods are __stdcall and clean their own arguments.
//
// No C++ runtime: Wine's Windows and msvcrt headers, the system's msvcrt.dll,
// no exceptions, no RTTI, no static constructors, an entry point of our own.
//   msvc_host.exe [path of ZEVScale.dll]   (default: ZEVScale.dll)
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "addin_interfaces.h"
#include "wine_windows.h"

// --- what the C++ runtime would give -----------------------------------------

extern "C" int _fltused = 0;
void* operator new(size_t bytes) {
  return malloc(bytes == 0 ? 1 : bytes);
}
void operator delete(void* p) noexcept {
  free(p);
}
void operator delete(void* p, size_t) noexcept {
  free(p);
}
extern "C" int __cdecl _purecall() {
  printf("pure virtual function called\n");
  fflush(nullptr);  // every stream: msvcrt.dll has no __acrt_iob_func
  ExitProcess(3);
}

namespace {

// --- checks ----------------------------------------------------------------

const char* g_case = "";
int g_cases = 0;
int g_checks = 0;
int g_failures = 0;
int g_calls = 0;
int g_stackFaults = 0;

void Begin(const char* name) {
  g_case = name;
  ++g_cases;
}

void Check(bool ok, const char* what, int line) {
  ++g_checks;
  if (ok) return;
  ++g_failures;
  printf("FAILED [%s] line %d: %s\n", g_case, line, what);
}
#define CHECK(cond) Check((cond), #cond, __LINE__)

// The stack pointer around a call through an interface: read before the
// arguments are pushed and after the call returns, and put back if the callee
// got it wrong, so that the host can go on and report it.
#if defined(_M_IX86)
const char* kArch = "x86";
int g_lastDelta = 0;
__attribute__((always_inline)) inline unsigned StackPointer() {
  unsigned sp;
  __asm__ volatile("movl %%esp, %0" : "=r"(sp) : : "memory");
  return sp;
}
__attribute__((always_inline)) inline void SetStackPointer(unsigned sp) {
  __asm__ volatile("movl %0, %%esp" : : "r"(sp) : "memory");
}
void StackAfter(unsigned before, unsigned after, const char* call, bool report) {
  g_lastDelta = static_cast<int>(before - after);
  if (!report) return;
  ++g_calls;
  if (g_lastDelta != 0) {
    ++g_stackFaults;
    printf("FAILED [%s] stack pointer moved by %d bytes: %s\n", g_case, g_lastDelta, call);
  }
}
#define STACK_CALL(expr, report)                \
  __extension__({                               \
    const unsigned before_ = StackPointer();    \
    auto result_ = (expr);                      \
    const unsigned after_ = StackPointer();     \
    SetStackPointer(before_);                   \
    StackAfter(before_, after_, #expr, report); \
    result_;                                    \
  })
#define STACK_CALL_VOID(expr)                 \
  do {                                        \
    const unsigned before_ = StackPointer();  \
    expr;                                     \
    const unsigned after_ = StackPointer();   \
    SetStackPointer(before_);                 \
    StackAfter(before_, after_, #expr, true); \
  } while (0)
#define CALL(expr) STACK_CALL(expr, true)
#define CALL_VOID(expr) STACK_CALL_VOID(expr)
#else
const char* kArch = "x64";
#define CALL(expr) (++g_calls, (expr))
#define CALL_VOID(expr) \
  do {                  \
    ++g_calls;          \
    expr;               \
  } while (0)
#endif

// --- text ------------------------------------------------------------------

size_t WideLength(const WCHAR_T* text) {
  size_t n = 0;
  while (text[n] != 0) ++n;
  return n;
}

bool WideEqual(const WCHAR_T* a, const WCHAR_T* b) {
  if (a == nullptr || b == nullptr) return a == b;
  const size_t n = WideLength(a);
  return n == WideLength(b) && memcmp(a, b, n * sizeof(WCHAR_T)) == 0;
}

// A growable byte string over malloc.
class Bytes {
 public:
  Bytes() = default;
  Bytes(const char* data, size_t size) { Append(data, size); }
  ~Bytes() { free(data_); }
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;

  void Append(const char* data, size_t size) {
    if (size_ + size + 1 > capacity_) {
      capacity_ = (size_ + size + 1) * 2;
      data_ = static_cast<char*>(realloc(data_, capacity_));
    }
    memcpy(data_ + size_, data, size);
    size_ += size;
    data_[size_] = '\0';
  }
  void Append(const char* text) { Append(text, strlen(text)); }
  const char* Data() const { return data_ != nullptr ? data_ : ""; }
  size_t Size() const { return size_; }
  bool operator==(const Bytes& other) const {
    return size_ == other.size_ && memcmp(Data(), other.Data(), size_) == 0;
  }

 private:
  char* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// UTF-8 text (ASCII and Russian letters) in the Windows-1251 code page, as the
// driver hands its texts to the platform.
void AppendAnsi(Bytes& out, const char* utf8) {
  const auto* s = reinterpret_cast<const unsigned char*>(utf8);
  while (*s != 0) {
    unsigned code = *s++;
    if (code >= 0xC0 && (*s & 0xC0) == 0x80) code = ((code & 0x1F) << 6) | (*s++ & 0x3F);
    char byte = '?';
    if (code < 0x80) byte = static_cast<char>(code);
    if (code >= 0x410 && code <= 0x44F) byte = static_cast<char>(0xC0 + (code - 0x410));
    if (code == 0x401) byte = static_cast<char>(0xA8);
    if (code == 0x451) byte = static_cast<char>(0xB8);
    out.Append(&byte, 1);
  }
}

// --- the platform's objects --------------------------------------------------

// Counts every block, and catches frees of blocks it never gave or gave back.
class MemoryManager : public IMemoryManager {
 public:
  ~MemoryManager() override {}
  bool ADDIN_API AllocMemory(void** block, unsigned long bytes) override {
    ++requests;
    if (block == nullptr || live == kMaxBlocks) return false;
    *block = malloc(bytes == 0 ? 1 : bytes);
    if (*block == nullptr) return false;
    memset(*block, 0xA5, bytes == 0 ? 1 : bytes);  // no caller may rely on zeroed blocks
    blocks_[live++] = *block;
    return true;
  }
  void ADDIN_API FreeMemory(void** block) override {
    if (block == nullptr || *block == nullptr) return;
    if (!Forget(*block)) {
      ++faults;
      return;
    }
    ++frees;
    free(*block);
    *block = nullptr;
  }
  // The platform's own blocks, for the values it passes in.
  void* Alloc(size_t bytes) {
    void* block = nullptr;
    AllocMemory(&block, static_cast<unsigned long>(bytes));
    --requests;
    return block;
  }
  bool Owns(const void* block) const {
    for (int i = 0; i < live; ++i) {
      if (blocks_[i] == block) return true;
    }
    return false;
  }

  int requests = 0;
  int frees = 0;
  int faults = 0;
  int live = 0;

 private:
  bool Forget(const void* block) {
    for (int i = 0; i < live; ++i) {
      if (blocks_[i] == block) {
        blocks_[i] = blocks_[--live];
        return true;
      }
    }
    return false;
  }
  static const int kMaxBlocks = 256;
  void* blocks_[kMaxBlocks] = {};
};

class Connection : public IAddInDefBase {
 public:
  ~Connection() override {}
  bool ADDIN_API AddError(unsigned short, const WCHAR_T*, const WCHAR_T*, long) override {
    ++errors;
    return true;
  }
  int errors = 0;
};

// --- values ------------------------------------------------------------------

tVariant Empty() {
  tVariant v;
  memset(&v, 0, sizeof v);
  return v;
}

tVariant Int(int value) {
  tVariant v = Empty();
  v.vt = VTYPE_I4;
  v.lVal = value;
  return v;
}

tVariant WideValue(MemoryManager& mm, const WCHAR_T* text) {
  tVariant v = Empty();
  const size_t n = WideLength(text);
  v.vt = VTYPE_PWSTR;
  v.wstr.pwstrVal = static_cast<WCHAR_T*>(mm.Alloc((n + 1) * sizeof(WCHAR_T)));
  memcpy(v.wstr.pwstrVal, text, (n + 1) * sizeof(WCHAR_T));
  v.wstr.wstrLen = static_cast<unsigned>(n);
  return v;
}

void Clear(MemoryManager& mm, tVariant& v) {
  const unsigned tag = v.vt & VTYPE_TYPEMASK;
  if ((tag == VTYPE_PSTR || tag == VTYPE_PWSTR || tag == VTYPE_BLOB) && v.str.pstrVal != nullptr) {
    void* block = v.str.pstrVal;
    mm.FreeMemory(&block);
  }
  v = Empty();
}

// A narrow string value holds exactly `utf8` in Windows-1251, in a block of
// the memory manager.
bool IsAnsi(const MemoryManager& mm, const tVariant& v, const char* utf8) {
  if (v.vt != VTYPE_PSTR || v.str.pstrVal == nullptr || !mm.Owns(v.str.pstrVal)) return false;
  Bytes want;
  AppendAnsi(want, utf8);
  return Bytes(v.str.pstrVal, v.str.strLen) == want;
}

// --- the add-in --------------------------------------------------------------

struct Method {
  const WCHAR_T* eng;
  const WCHAR_T* rus;
  long params;
};
const Method kMethods[] = {
    {L"GetVersion", L"ПолучитьНомерВерсии", 0},
    {L"GetDescription", L"ПолучитьОписание", 7},
    {L"GetLastError", L"ПолучитьОшибку", 1},
    {L"GetParameters", L"ПолучитьПараметры", 1},
    {L"SetParameter", L"УстановитьПараметр", 2},
    {L"Open", L"Подключить", 1},
    {L"Close", L"Отключить", 1},
    {L"DeviceTest", L"ТестУстройства", 2},
    {L"GetAdditionalActions", L"ПолучитьДополнительныеДействия", 1},
    {L"DoAdditionalAction", L"ВыполнитьДополнительноеДействие", 1},
    {L"Calibrate", L"УстановитьВесТары", 2},
    {L"GetWeight", L"ПолучитьВес", 2},
    {L"Zeroing", L"УстановитьНулевойВес", 0},
};
const long kMethodCount = sizeof kMethods / sizeof kMethods[0];

struct Exports {
  GetClassNamesFn getClassNames;
  GetClassObjectFn getClassObject;
  DestroyObjectFn destroyObject;
  SetPlatformCapabilitiesFn setPlatformCapabilities;
};

// A driver object seen through its three interfaces.
struct Component {
  void** block;
  IInitDoneBase* initDone;
  ILanguageExtenderBase* language;
  LocaleBase* locale;
};

Component Interfaces(void* block) {
  auto** words = static_cast<void**>(block);
  return {words, reinterpret_cast<IInitDoneBase*>(&words[0]),
          reinterpret_cast<ILanguageExtenderBase*>(&words[1]),
          reinterpret_cast<LocaleBase*>(&words[2])};
}

// Calls a method with CallAsFunc and clears what it left behind.
class Call {
 public:
  Call(const Component& c, MemoryManager& mm, long method, tVariant* params, long count)
      : mm_(mm), params_(params), count_(count), ret(Empty()) {
    ok = CALL(c.language->CallAsFunc(method, &ret, params, count));
  }
  ~Call() {
    Clear(mm_, ret);
    for (long i = 0; i < count_; ++i) Clear(mm_, params_[i]);
  }
  Call(const Call&) = delete;
  Call& operator=(const Call&) = delete;
  bool Flag() const { return ret.vt == VTYPE_BOOL && ret.bVal; }

 private:
  MemoryManager& mm_;
  tVariant* params_;
  long count_;

 public:
  tVariant ret;
  bool ok = false;
};

// A name the component returned: compared, then given back.
bool TakeName(MemoryManager& mm, const WCHAR_T* name, const WCHAR_T* want) {
  const bool ok = name != nullptr && mm.Owns(name) && WideEqual(name, want);
  void* block = const_cast<WCHAR_T*>(name);
  mm.FreeMemory(&block);
  return ok;
}

// --- the cases ---------------------------------------------------------------

void Names(const Exports& e, const Component& c, MemoryManager& mm) {
  Begin("names");
  CHECK(WideEqual(CALL(e.getClassNames()), L"TZEV_SCALE_Class|TZEV_SCALE_4001_Class"));
  CHECK(CALL(e.setPlatformCapabilities(-3)) == 1);
  void* none = &none;
  const WCHAR_T* const wrongNames[] = {L"tzev_scale_class", L"ZEVScale", L""};
  for (const WCHAR_T* wrong : wrongNames) {
    CHECK(CALL(e.getClassObject(wrong, &none)) == 0);
    CHECK(none == &none);
  }
  CHECK(c.block[3] == nullptr);
  CHECK(c.block[4] != nullptr && c.block[4] == c.block[5] && c.block[5] == c.block[6]);

  WCHAR_T* extension = nullptr;
  CHECK(CALL(c.language->RegisterExtensionAs(&extension)));
  CHECK(TakeName(mm, extension, L"ZEVScale"));
  for (long i = 0; i < kMethodCount; ++i) {
    CHECK(TakeName(mm, CALL(c.language->GetMethodName(i, 0)), kMethods[i].eng));
    CHECK(TakeName(mm, CALL(c.language->GetMethodName(i, 1)), kMethods[i].rus));
  }
  CHECK(CALL(c.language->GetMethodName(kMethodCount, 0)) == nullptr);
  CHECK(CALL(c.language->GetNProps()) == 0);
  CHECK(CALL(c.language->FindProp(L"Model")) == -1);
  CHECK(CALL(c.language->GetPropName(0, 0)) == nullptr);
  CHECK(!CALL(c.language->IsPropReadable(0)));
  CHECK(!CALL(c.language->IsPropWritable(0)));
}

void MethodTable(const Component& c) {
  Begin("method table");
  CHECK(CALL(c.language->GetNMethods()) == kMethodCount);
  for (long i = 0; i < kMethodCount; ++i) {
    CHECK(CALL(c.language->FindMethod(kMethods[i].eng)) == i);
    CHECK(CALL(c.language->FindMethod(kMethods[i].rus)) == i);
    CHECK(CALL(c.language->GetNParams(i)) == kMethods[i].params);
    CHECK(CALL(c.language->HasRetVal(i)));
    tVariant def = Int(7);
    CHECK(CALL(c.language->GetParamDefValue(i, 0, &def)));
    CHECK(def.vt == VTYPE_EMPTY);
  }
  CHECK(CALL(c.language->FindMethod(L"getweight")) == 11);    // case ignored
  CHECK(CALL(c.language->FindMethod(L"ПОЛУЧИТЬВЕС")) == 11);  // in Russian too
  CHECK(CALL(c.language->FindMethod(L"Weigh")) == -1);
}

void ValuesAndMemory(const Component& c, MemoryManager& mm) {
  Begin("values and memory");
  CHECK(CALL(c.initDone->GetInfo()) == 2000);
  {
    Call version(c, mm, 0, nullptr, 0);
    CHECK(version.ok && IsAnsi(mm, version.ret, ZEV_PRODUCT_VERSION));
  }
  {
    tVariant p[7];
    for (tVariant& v : p) v = Empty();
    p[0] = WideValue(mm, L"the caller's text");  // replaced: its block must be given back
    const int frees = mm.frees;
    Call description(c, mm, 1, p, 7);
    CHECK(description.ok && description.Flag());
    CHECK(mm.frees == frees + 1);
    CHECK(IsAnsi(mm, p[0], "1С: Драйвер для весов ZEV (версия 2)"));
    CHECK(IsAnsi(mm, p[1],
                 "Драйвер выполнен по технологии NativeAPI и предназначен для весов ZEV-У, "
                 "ZEV-AW, ZEV-NT(N) с интерфейсом RS-232"));
    CHECK(IsAnsi(mm, p[2], "ЭлектронныеВесы"));
    CHECK(p[3].vt == VTYPE_I4 && p[3].lVal == 1005);
    CHECK(p[4].vt == VTYPE_BOOL && !p[4].bVal);
    CHECK(p[5].vt == VTYPE_BOOL && p[5].bVal);
    CHECK(p[6].vt == VTYPE_PSTR && p[6].str.strLen > 0);
  }
  {
    tVariant p[1] = {Empty()};
    Call error(c, mm, 2, p, 1);
    CHECK(error.ok && error.ret.vt == VTYPE_I4 && error.ret.lVal == 0);
    CHECK(IsAnsi(mm, p[0], ""));
  }
  {
    // A function called as a procedure: the frame's own return slot is emptied.
    tVariant p[1] = {Empty()};
    CHECK(CALL(c.language->CallAsProc(2, p, 1)));
    CHECK(IsAnsi(mm, p[0], ""));
    Clear(mm, p[0]);
  }
  {
    // Six parameters of seven: refused, and nothing written past the array.
    tVariant p[7];
    for (tVariant& v : p) v = Int(5);
    Call six(c, mm, 1, p, 6);
    CHECK(six.ok && six.ret.vt == VTYPE_BOOL && !six.ret.bVal);
    for (const tVariant& v : p) CHECK(v.vt == VTYPE_I4 && v.lVal == 5);
  }
  CHECK(mm.live == 0);
}

// The settings page as "GetParameters" gives it for a model and a port.
void Page(Bytes& out, const char* model, const char* port) {
  AppendAnsi(out,
             "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><Settings><Page Caption=\"Параметры\">"
             "<Group Caption=\"Параметры подключения\"><Parameter Name=\"Model\" "
             "Caption=\"Модель\" TypeValue=\"String\" DefaultValue=\"");
  AppendAnsi(out, model);
  AppendAnsi(out,
             "\"><ChoiceList><Item Value=\"ZEV-U\">Весы: ZEV-У</Item><Item Value=\"ZEV-AW\">Весы: "
             "ZEV-AW</Item><Item Value=\"ZEV-NT(N)\">Весы: ZEV-NT(N)</Item></ChoiceList>"
             "</Parameter><Parameter Name=\"Port\" Caption=\"Порт\" TypeValue=\"Number\" "
             "DefaultValue=\"");
  AppendAnsi(out, port);
  out.Append("\"><ChoiceList>");
  for (char n = '1'; n <= '8'; ++n) {
    const char item[] = {'<', 'I', 't', 'e', 'm', ' ', 'V', 'a', 'l', 'u', 'e', '=', '"', n,
                         '"', '>', 'C', 'O', 'M', n,   '<', '/', 'I', 't', 'e', 'm', '>'};
    out.Append(item, sizeof item);
  }
  out.Append("</ChoiceList></Parameter></Group></Page></Settings>");
}

bool PageIs(const Component& c, MemoryManager& mm, const char* model, const char* port) {
  tVariant p[1] = {Empty()};
  Call page(c, mm, 3, p, 1);
  Bytes want;
  Page(want, model, port);
  return page.ok && page.Flag() && p[0].vt == VTYPE_PSTR && mm.Owns(p[0].str.pstrVal) &&
         Bytes(p[0].str.pstrVal, p[0].str.strLen) == want;
}

bool Set(const Component& c, MemoryManager& mm, const WCHAR_T* name, tVariant value) {
  tVariant p[2] = {WideValue(mm, name), value};
  Call set(c, mm, 4, p, 2);
  return set.ok && set.Flag();
}

void SettingsPage(const Component& c, MemoryManager& mm) {
  Begin("settings page");
  CHECK(PageIs(c, mm, "", "0"));
  CHECK(Set(c, mm, L"Model", WideValue(mm, L"ZEV-AW")));
  CHECK(PageIs(c, mm, "ZEV-AW", "1"));
  CHECK(Set(c, mm, L"Port", Int(3)));
  CHECK(PageIs(c, mm, "ZEV-AW", "3"));
  CHECK(Set(c, mm, L"Model", WideValue(mm, L"A&B \"<x>\"")));
  CHECK(PageIs(c, mm, "A&amp;B &quot;&lt;x&gt;&quot;", "1"));
  CHECK(Set(c, mm, L"Port", WideValue(mm, L"12")));
  CHECK(PageIs(c, mm, "A&amp;B &quot;&lt;x&gt;&quot;", "12"));
  CHECK(mm.live == 0);
}

// "GetLastError": its code, and its text in Windows-1251.
bool LastErrorIs(const Component& c, MemoryManager& mm, int code, const char* utf8) {
  tVariant p[1] = {Empty()};
  Call error(c, mm, 2, p, 1);
  return error.ok && error.ret.vt == VTYPE_I4 && error.ret.lVal == code && IsAnsi(mm, p[0], utf8);
}

void OpenWithoutDevice(const Component& c, MemoryManager& mm) {
  Begin("Open without a device");
  CHECK(Set(c, mm, L"Model", WideValue(mm, L"ZEV-U")));
  CHECK(Set(c, mm, L"Port", Int(7)));  // COM7: nothing there
  {
    tVariant p[1] = {Empty()};
    Call open(c, mm, 5, p, 1);
    CHECK(open.ok && open.ret.vt == VTYPE_BOOL && !open.ret.bVal);
    CHECK(IsAnsi(mm, p[0], "NoDeviceID"));
  }
  CHECK(LastErrorIs(c, mm, 1001, "Порт недоступен"));
  {
    tVariant p[2] = {WideValue(mm, L"NoDeviceID"), Empty()};
    Call weigh(c, mm, 11, p, 2);
    CHECK(!weigh.ok && weigh.ret.vt == VTYPE_EMPTY);
    CHECK(p[1].vt == VTYPE_EMPTY);
  }
  CHECK(LastErrorIs(c, mm, 65535, "Ошибка в параметре \"DeviceID\""));
  CHECK(mm.live == 0);
}

// Bytes in use on the heap of msvcrt.dll, which the add-in allocates its
// objects from as this program does; -1 when the heap cannot be walked.
long long HeapInUse() {
  _HEAPINFO entry;
  entry._pentry = nullptr;
  long long used = 0;
  int status;
  while ((status = _heapwalk(&entry)) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) used += static_cast<long long>(entry._size);
  }
  return status == _HEAPEND ? used : -1;
}

// A host of C++ interface pointers sets an object up with Init and
// setMemManager only and ends it with Done and `delete` on an interface
// pointer: the compiler calls the scalar deleting destructor of that
// pointer's table with flags 1 (on x86 with __thiscall, which the stack check
// watches). Every object is released: the heap is where it was.
void DeleteThroughInterfaces(const Exports& e, MemoryManager& mm, Connection& connection) {
  Begin("delete through an interface");
  const WCHAR_T* const classes[] = {L"TZEV_SCALE_Class", L"TZEV_SCALE_4001_Class"};
  const int kWarmUp = 6;  // what the add-in's first objects make once
  const int kRounds = 60;
  long long before = -1;
  for (int round = 0; round < kWarmUp + kRounds; ++round) {
    if (round == kWarmUp) before = HeapInUse();
    void* block = nullptr;
    CHECK(CALL(e.getClassObject(classes[round % 2], &block)) == 1);
    if (block == nullptr) return;
    const Component c = Interfaces(block);
    CHECK(CALL(c.initDone->Init(static_cast<IAddInDefBase*>(&connection))));
    CHECK(CALL(c.initDone->setMemManager(static_cast<IMemoryManager*>(&mm))));
    tVariant p[2] = {WideValue(mm, L"Model"), WideValue(mm, L"ZEV-U")};
    {
      Call set(c, mm, CALL(c.language->FindMethod(L"SetParameter")), p, 2);
      CHECK(set.ok && set.Flag());
    }
    CALL_VOID(c.initDone->Done());
    switch (round % 3) {
      case 0:
        CALL_VOID(delete c.initDone);
        break;
      case 1:
        CALL_VOID(delete c.language);
        break;
      default:
        CALL_VOID(delete c.locale);
        break;
    }
  }
  const long long after = HeapInUse();
  CHECK(before >= 0 && after >= 0);
  // An object left behind holds more than a kilobyte; sixty of them, far more.
  CHECK(after - before < 1024);
  CHECK(mm.live == 0 && mm.faults == 0);
}

// An explicit destructor call passes flags 0: the object's use ends as at
// Done, and it stays for DestroyObject.
void ExplicitDestructorCall(const Exports& e, MemoryManager& mm) {
  Begin("explicit destructor call");
  void* block = nullptr;
  CHECK(CALL(e.getClassObject(L"TZEV_SCALE_Class", &block)) == 1);
  if (block == nullptr) return;
  const Component c = Interfaces(block);
  CHECK(CALL(c.initDone->setMemManager(static_cast<IMemoryManager*>(&mm))));
  CALL_VOID(c.language->~ILanguageExtenderBase());
  CHECK(CALL(c.initDone->GetInfo()) == 2000);
  CHECK(CALL(c.language->GetNMethods()) == kMethodCount);
  CHECK(CALL(e.destroyObject(&block)) == 0);
  CHECK(block == nullptr);
}

#if defined(_M_IX86)
// The stack check itself: a method that cleans its arguments leaves the stack
// pointer alone; one that does not (a __cdecl function in a __stdcall slot)
// moves it by the 12 bytes of `this` and two arguments.
class Probe {
 public:
  virtual ~Probe() {}
  virtual long ADDIN_API Sum(long a, long b) = 0;
};
long __stdcall SumCleaning(void*, long a, long b) {
  return a + b;
}
long __cdecl SumLeaving(void*, long a, long b) {
  return a + b;
}
void StackCheck() {
  Begin("stack check");
  struct Fake {
    const void* const* table;
  };
  const void* cleaning[2] = {nullptr, reinterpret_cast<const void*>(&SumCleaning)};
  const void* leaving[2] = {nullptr, reinterpret_cast<const void*>(&SumLeaving)};
  Fake fake = {cleaning};
  Probe* probe = reinterpret_cast<Probe*>(&fake);
  CHECK(STACK_CALL(probe->Sum(2, 3), false) == 5 && g_lastDelta == 0);
  fake.table = leaving;
  CHECK(STACK_CALL(probe->Sum(2, 3), false) == 5 && g_lastDelta == 12);
}
#endif

// The DLL's path: the command line's first argument, or ZEVScale.dll.
void DllPath(WCHAR_T* out, size_t size) {
  const WCHAR_T* p = GetCommandLineW();
  if (*p == L'"') {
    for (++p; *p != 0 && *p != L'"'; ++p) {
    }
    if (*p == L'"') ++p;
  } else {
    while (*p != 0 && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  const bool quoted = *p == L'"';
  if (quoted) ++p;
  size_t n = 0;
  for (; *p != 0 && n + 1 < size; ++p) {
    if (quoted ? *p == L'"' : (*p == L' ' || *p == L'\t')) break;
    out[n++] = *p;
  }
  if (n == 0) {
    for (const WCHAR_T* d = L"ZEVScale.dll"; *d != 0; ++d) out[n++] = *d;
  }
  out[n] = 0;
}

int Run() {
  static WCHAR_T path[1024];
  DllPath(path, sizeof path / sizeof path[0]);
  HMODULE dll = LoadLibraryW(path);
  if (dll == nullptr) {
    printf("msvc_host %s: the add-in could not be loaded\n", kArch);
    return 2;
  }
  Exports e = {reinterpret_cast<GetClassNamesFn>(
                   reinterpret_cast<void*>(GetProcAddress(dll, "GetClassNames"))),
               reinterpret_cast<GetClassObjectFn>(
                   reinterpret_cast<void*>(GetProcAddress(dll, "GetClassObject"))),
               reinterpret_cast<DestroyObjectFn>(
                   reinterpret_cast<void*>(GetProcAddress(dll, "DestroyObject"))),
               reinterpret_cast<SetPlatformCapabilitiesFn>(
                   reinterpret_cast<void*>(GetProcAddress(dll, "SetPlatformCapabilities")))};
  if (!e.getClassNames || !e.getClassObject || !e.destroyObject || !e.setPlatformCapabilities) {
    printf("msvc_host %s: the add-in lacks one of the four exports\n", kArch);
    return 2;
  }

  MemoryManager* mm = new MemoryManager;
  Connection* connection = new Connection;
  void* block = nullptr;
  g_case = "exports";
  CHECK(CALL(e.getClassObject(L"TZEV_SCALE_Class", &block)) == 1);
  if (block == nullptr) {
    printf("msvc_host %s: no driver object\n", kArch);
    return 1;
  }
  const Component c = Interfaces(block);
  g_case = "set-up";
  CHECK(CALL(c.initDone->setMemManager(static_cast<IMemoryManager*>(mm))));
  CHECK(CALL(c.initDone->Init(static_cast<IAddInDefBase*>(connection))));
  CALL_VOID(c.locale->SetLocale(L"ru_RU"));

  Names(e, c, *mm);
  MethodTable(c);
  ValuesAndMemory(c, *mm);
  SettingsPage(c, *mm);
  OpenWithoutDevice(c, *mm);

  g_case = "tear-down";
  CALL_VOID(c.initDone->Done());
  CHECK(CALL(e.destroyObject(&block)) == 0);
  CHECK(block == nullptr);
  CHECK(mm->live == 0);
  CHECK(mm->faults == 0);
  CHECK(connection->errors == 0);
  DeleteThroughInterfaces(e, *mm, *connection);
  ExplicitDestructorCall(e, *mm);
  CHECK(mm->live == 0);
  CHECK(connection->errors == 0);
#if defined(_M_IX86)
  StackCheck();
#endif
  FreeLibrary(dll);

  printf("msvc_host %s: %d cases, %d checks, %d failed; %d calls through virtual functions", kArch,
         g_cases, g_checks, g_failures, g_calls);
#if defined(_M_IX86)
  printf(", stack pointer moved by %d of them", g_stackFaults);
#endif
  printf("; the add-in asked for %d blocks, %d left, %d bad frees\n", mm->requests, mm->live,
         mm->faults);
  delete connection;
  delete mm;
  return g_failures == 0 && g_stackFaults == 0 ? 0 : 1;
}

}  // namespace

extern "C" void __cdecl HostMain() {
  const int status = Run();
  fflush(nullptr);  // every stream: msvcrt.dll has no __acrt_iob_func
  ExitProcess(static_cast<UINT>(status));
}
