// A small module of the quarlo contract, written only against the host's own
// declarations, to prove `quarlo_host check`. Built without a fault it is
// `conforming`: two command groups (one and two commands), one setting of its
// own, location texts kept as owned heap copies, command groups made on the
// heap and freed on their last release. The first command opens a modal
// dialog owned by the host's main window, with an edit control, a button that
// looks up the host's named services by the input's GUID (a failure of the
// host's is shown, not let out) and a control of a window class of the module's own, registered on
// first use and unregistered at unload; it copies the input to the heap as it
// changes. The other commands open nothing.
// Built with CHECKER_FAULT_<NAME>, it breaks the contract in that one respect.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <locale.h>
#include <exception>
#include <new>

#include "quarlo/mainmenu_commands.h"
#include "quarlo/module_entry.h"
#include "quarlo/named_service.h"

#ifdef CHECKER_FAULT_COTASK_WRITE_AFTER_FREE_ON_LONG_INPUT
#include <objbase.h>
#endif

#ifdef CHECKER_FAULT_REGISTERS_CLASS_AT_LOAD
// The module's own image, as the linker places it.
extern "C" IMAGE_DOS_HEADER __ImageBase;
#endif

#ifdef CHECKER_FAULT_CRASH_IN_EXPORT
// A run crashes here, in a function the module exports, so a crash report can
// name it: this writes through a null pointer.
extern "C" __declspec(dllexport) __declspec(noinline) void __cdecl checker_crash_here(
    uint32_t value) {
  volatile uint32_t* volatile nowhere = nullptr;
  *nowhere = value;
}
#endif

namespace quarlo_io {

// The stream exception family; it matches the host's by qualified name.
#ifdef CHECKER_FAULT_EXCEPTION_DECLARED_AS_STRUCT
// Declared with another class key: the Microsoft ABI tells them apart from the host's.
#define QUARLO_IO_CLASS_KEY struct
#else
#define QUARLO_IO_CLASS_KEY class
#endif

QUARLO_IO_CLASS_KEY exception_io : public std::exception {
 public:
  explicit exception_io(const char* message) : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

QUARLO_IO_CLASS_KEY exception_io_data : public exception_io {
 public:
  using exception_io::exception_io;
};

QUARLO_IO_CLASS_KEY exception_io_data_truncation : public exception_io_data {
 public:
  using exception_io_data::exception_io_data;
};

}  // namespace quarlo_io

namespace {

struct command_info {
  GUID guid;
  const char* name;
  const char* description;
};

struct group_info {
  GUID parent;
  uint32_t priority;
  uint32_t count;
  const command_info* commands;
  // Its first command opens the dialog.
  bool opens_dialog;
};

const command_info first_commands[] = {
    {{0x5B1C8E2A, 0x3D47, 0x4F10, {0x9A, 0x61, 0x2C, 0x7E, 0x14, 0xB3, 0x58, 0x01}},
     "Checker First",
     "The only command of the first group"},
};

#ifdef CHECKER_FAULT_DUPLICATE_COMMAND_GUID
// Command GUIDs must be unique across all groups: the last command repeats the first's.
constexpr uint8_t last_command_tail = 0x01;
#else
constexpr uint8_t last_command_tail = 0x03;
#endif

const command_info second_commands[] = {
    {{0x5B1C8E2A, 0x3D47, 0x4F10, {0x9A, 0x61, 0x2C, 0x7E, 0x14, 0xB3, 0x58, 0x02}},
     "Checker Second",
     "The first command of the second group"},
    {{0x5B1C8E2A, 0x3D47, 0x4F10, {0x9A, 0x61, 0x2C, 0x7E, 0x14, 0xB3, 0x58, last_command_tail}},
     u8"Checker Pr\u00FCfung",
     "The second command of the second group"},
};

const group_info first_group = {
    {0xF8BE5604, 0x165F, 0x4BB9, {0xB6, 0xA9, 0x15, 0xE5, 0x5E, 0x0E, 0x0D, 0x3A}},
    0x80000000u,
    1,
    first_commands,
    true};
const group_info second_group = {
    {0x0C4D2E61, 0x7A35, 0x4B8E, {0xA1, 0x0F, 0x63, 0x9D, 0x27, 0xE4, 0x5C, 0x10}},
    0x40000000u,
    2,
    second_commands,
    false};

host_api* the_host = nullptr;
HINSTANCE the_instance = nullptr;
// The thread that first entered the module.
DWORD loading_thread = 0;

// The dialog: an edit control, a button that looks up the host's services,
// the result, and a control of the module's own class.
constexpr int input_id = 100;
constexpr int look_up_id = 101;
constexpr int result_id = 102;
constexpr int swatch_id = 103;
constexpr wchar_t swatch_class[] = L"checker_swatch";
ATOM swatch_atom = 0;
// The host failed while the dialog was open.
bool host_failed = false;

LRESULT CALLBACK swatch_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(window, message, wparam, lparam);
}

void register_swatch() {
  if (swatch_atom != 0) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = swatch_proc;
  wc.hInstance = the_instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_HIGHLIGHT + 1);
  wc.lpszClassName = swatch_class;
  swatch_atom = RegisterClassExW(&wc);
}

void unregister_swatch() {
#ifndef CHECKER_FAULT_CLASS_NEVER_UNREGISTERED
  // A module's window classes go with it: this one stays registered.
  if (swatch_atom != 0) UnregisterClassW(swatch_class, the_instance);
#endif
  swatch_atom = 0;
}

// An in-memory dialog template, written word by word.
class template_writer {
 public:
  explicit template_writer(WORD* out) : at_(out) {}
  void word(WORD w) { *at_++ = w; }
  void dword(DWORD d) {
    word(LOWORD(d));
    word(HIWORD(d));
  }
  void text(const wchar_t* s) {
    do {
      word(static_cast<WORD>(*s));
    } while (*s++ != 0);
  }
  // Items start on a DWORD boundary.
  void align() {
    if ((reinterpret_cast<uintptr_t>(at_) & 2) != 0) word(0);
  }
  // Where it lies, in dialog units: x, y, width, height.
  void place(const short (&box)[4]) {
    for (short v : box) word(static_cast<WORD>(v));
  }
  void item(DWORD style, const short (&box)[4], int id, WORD system_class, const wchar_t* own_class,
            const wchar_t* title) {
    align();
    dword(WS_CHILD | WS_VISIBLE | style);
    dword(0);
    place(box);
    word(static_cast<WORD>(id));
    if (own_class != nullptr) {
      text(own_class);
    } else {
      word(0xFFFF);
      word(system_class);
    }
    text(title);
    word(0);
  }

 private:
  WORD* at_;
};

const DLGTEMPLATE* dialog_template() {
  alignas(4) static WORD words[512];
  static bool written = false;
  if (!written) {
    written = true;
    template_writer w(words);
    w.dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    w.dword(0);
    w.word(4);
    w.place({10, 10, 200, 60});
    w.word(0);
    w.word(0);
    w.text(L"Checker tool");
    w.item(WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {5, 5, 130, 12}, input_id, 0x0081, nullptr,
           L"");
    w.item(WS_TABSTOP | BS_DEFPUSHBUTTON, {140, 5, 55, 14}, look_up_id, 0x0080, nullptr,
           L"Look up");
    w.item(SS_LEFT, {5, 25, 130, 10}, result_id, 0x0082, nullptr, L"");
    w.item(0, {140, 25, 55, 10}, swatch_id, 0, swatch_class, L"");
  }
  return reinterpret_cast<const DLGTEMPLATE*>(words);
}

// Whether text holds the eight hex digits of data1, in either case.
bool holds_data1(const wchar_t* text, uint32_t data1) {
  wchar_t digits[8];
  for (int i = 0; i < 8; ++i) digits[i] = L"0123456789abcdef"[(data1 >> (28 - 4 * i)) & 0xF];
  for (const wchar_t* at = text; *at != 0; ++at) {
    int i = 0;
    for (; i < 8 && at[i] != 0; ++i) {
      const wchar_t c = at[i] >= L'A' && at[i] <= L'F' ? at[i] + (L'a' - L'A') : at[i];
      if (c != digits[i]) break;
    }
    if (i == 8) return true;
  }
  return false;
}

// Shows the name of the host's named service whose GUID starts as the input's
// first eight hex digits, walking the instances until the host has no more.
void look_up(HWND dialog) {
#ifndef CHECKER_FAULT_HOST_EXCEPTION_CRASHES
  // A failure of the host's must not unwind through the window system: this
  // lets it out of the dialog procedure.
  try {
#endif
    wchar_t input[128] = {};
    GetWindowTextW(GetDlgItem(dialog, input_id), input, 128);
    SetDlgItemTextA(dialog, result_id, "no service");
    const uint32_t named = the_host->find_class(named_service::class_guid);
    for (uint32_t i = 0; named != 0; ++i) {
      service_ref found;
      if (!the_host->create(found, named, i)) {
#ifdef CHECKER_FAULT_CALLS_PAST_LAST_INSTANCE
        // Asks the reference that create left when it had no more instances.
        SetDlgItemTextA(dialog, result_id,
                        static_cast<named_service*>(found.get())->service_name());
#endif
        break;
      }
      auto* service = static_cast<named_service*>(found.get());
#ifdef CHECKER_FAULT_KEEPS_SERVICE_REFS
      // Every service looked at keeps one reference more than the walk gives back.
      service->add_ref();
#endif
      if (holds_data1(input, service->service_guid().Data1)) {
        SetDlgItemTextA(dialog, result_id, service->service_name());
        break;
      }
    }
#ifndef CHECKER_FAULT_HOST_EXCEPTION_CRASHES
  } catch (...) {
    host_failed = true;
    SetDlgItemTextA(dialog, result_id, "the host failed");
  }
#endif
}

// The allocator the copy of the input comes from: the C heap, or with the
// faults below one of the system's, which the heap watch sees as well.
#if defined(CHECKER_FAULT_LOCAL_OVERRUN_ON_LONG_INPUT)
#define CHECKER_FAULT_OVERRUN_ON_LONG_INPUT
void* input_alloc(size_t size) { return LocalAlloc(LMEM_FIXED, size); }
void input_free(void* block) { LocalFree(block); }
#elif defined(CHECKER_FAULT_GLOBAL_FREES_TWICE_ON_LONG_INPUT)
#define CHECKER_FAULT_FREES_TWICE_ON_LONG_INPUT
void* input_alloc(size_t size) { return GlobalAlloc(GMEM_FIXED, size); }
void input_free(void* block) { GlobalFree(block); }
#elif defined(CHECKER_FAULT_COTASK_WRITE_AFTER_FREE_ON_LONG_INPUT)
#define CHECKER_FAULT_WRITE_AFTER_FREE_ON_LONG_INPUT
void* input_alloc(size_t size) { return CoTaskMemAlloc(size); }
void input_free(void* block) { CoTaskMemFree(block); }
#else
void* input_alloc(size_t size) { return malloc(size); }
void input_free(void* block) { free(block); }
#endif

// Keeps a copy of the input while it changes, as a tool that reads its text
// does, and lets it go.
void copy_input(HWND dialog) {
  const HWND input = GetDlgItem(dialog, input_id);
  const int length = GetWindowTextLengthW(input);
  auto* copy = static_cast<wchar_t*>(input_alloc((length + 1) * sizeof(wchar_t)));
  if (copy == nullptr) return;
  GetWindowTextW(input, copy, length + 1);
  const bool long_text = length > 1000;
  // Where the compiler cannot follow it, for the faults below: it would drop
  // a write it sees go into a block about to be freed.
  wchar_t* volatile block = copy;
#ifdef CHECKER_FAULT_OVERRUN_ON_LONG_INPUT
  // Four bytes of terminator too many, past the block's end.
  if (long_text) memset(block + length + 1, 0, 4);
#endif
  input_free(copy);
#ifdef CHECKER_FAULT_WRITE_AFTER_FREE_ON_LONG_INPUT
  if (long_text) block[0] = 0;
#endif
#ifdef CHECKER_FAULT_FREES_TWICE_ON_LONG_INPUT
  if (long_text) input_free(block);
#endif
  (void)long_text;
  (void)block;
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wparam) == input_id && HIWORD(wparam) == EN_CHANGE) {
        copy_input(dialog);
        return TRUE;
      }
      if (LOWORD(wparam) == look_up_id && HIWORD(wparam) == BN_CLICKED) {
        look_up(dialog);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
#ifndef CHECKER_FAULT_IGNORES_CLOSE
        // Escape and the close box must end the dialog: this one ignores both.
        EndDialog(dialog, IDCANCEL);
#endif
        return TRUE;
      }
      return FALSE;
#ifdef CHECKER_FAULT_IGNORES_CLOSE
    case WM_CLOSE:
      return TRUE;
#endif
    default:
      return FALSE;
  }
}

#ifdef CHECKER_FAULT_SETS_EXCEPTION_FILTER
LONG WINAPI own_filter(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }
#endif
#ifdef CHECKER_FAULT_SUBCLASSES_MAIN_WINDOW
WNDPROC host_procedure = nullptr;
LRESULT CALLBACK subclass_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  return CallWindowProcW(host_procedure, window, message, wparam, lparam);
}
#endif

// The process's state belongs to the host: each of these faults changes a
// part of it and leaves it so.
void leave_process_state_changed() {
#ifdef CHECKER_FAULT_CHANGES_DIRECTORY
  SetCurrentDirectoryW(L"C:\\windows");
#endif
#ifdef CHECKER_FAULT_CHANGES_LOCALE
  setlocale(LC_ALL, "");
#endif
#ifdef CHECKER_FAULT_SETS_FLUSH_TO_ZERO
  // Flush-to-zero and denormals-are-zero.
  __builtin_ia32_ldmxcsr(__builtin_ia32_stmxcsr() | 0x8040);
#endif
#ifdef CHECKER_FAULT_SETS_EXCEPTION_FILTER
  SetUnhandledExceptionFilter(own_filter);
#endif
#ifdef CHECKER_FAULT_SUBCLASSES_MAIN_WINDOW
  if (host_procedure == nullptr) {
    host_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        the_host->main_window(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclass_proc)));
  }
#endif
}

#ifdef CHECKER_FAULT_LEAVES_TIMER
void CALLBACK timer_proc(HWND, UINT, UINT_PTR, DWORD) {}
#endif
#ifdef CHECKER_FAULT_LEAVES_HOOK
LRESULT CALLBACK hook_proc(int code, WPARAM wparam, LPARAM lparam) {
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
#endif

#ifdef CHECKER_FAULT_LEAVES_THREAD
DWORD WINAPI busy_thread(void*) {
  for (;;) Sleep(5);
}
#endif

// What a module starts must be ended before its command returns: each of
// these faults leaves something set that runs the module's code later.
void leave_running() {
#ifdef CHECKER_FAULT_LEAVES_THREAD
  CloseHandle(CreateThread(nullptr, 0, busy_thread, nullptr, 0, nullptr));
#endif
#ifdef CHECKER_FAULT_LEAVES_TIMER
  SetTimer(nullptr, 0, 50, timer_proc);
#endif
#ifdef CHECKER_FAULT_LEAVES_HOOK
  SetWindowsHookExW(WH_GETMESSAGE, hook_proc, nullptr, GetCurrentThreadId());
#endif
}

void run_dialog() {
#ifdef CHECKER_FAULT_SECOND_RUN_FAILS
  // Every run of a command must work as the first: this dialog opens once only.
  static bool shown = false;
  if (shown) return;
  shown = true;
#endif
  register_swatch();
  host_failed = false;
  HWND owner = the_host->main_window();
#ifdef CHECKER_FAULT_DIALOG_WITHOUT_OWNER
  // A dialog must be owned by the host's main window: this one has no owner.
  owner = nullptr;
#endif
  DialogBoxIndirectParamW(the_instance, dialog_template(), owner, dialog_proc, 0);
#ifdef CHECKER_FAULT_POSTS_QUIT
  // A module must leave the host's message loop alone: this one ends it.
  PostQuitMessage(0);
#endif
  leave_process_state_changed();
  leave_running();
#ifdef CHECKER_FAULT_OWNER_LEFT_DISABLED
  // The host's window must stay usable: this leaves it disabled.
  EnableWindow(the_host->main_window(), FALSE);
#endif
#ifdef CHECKER_FAULT_WINDOW_LEFT_AT_UNLOAD
  // A module's windows must be gone before it unloads: this one never is.
  CreateWindowExW(0, swatch_class, L"left behind", WS_POPUP, 0, 0, 8, 8, the_host->main_window(),
                  nullptr, the_instance, nullptr);
#endif
#ifdef CHECKER_FAULT_THROWS_ON_PLAIN_RUN
  // A command that ran must return: this one throws unless the host failed it.
  if (!host_failed) throw quarlo_io::exception_io("the command failed");
#endif
}

#ifdef CHECKER_FAULT_ONE_INSTANCE_AT_A_TIME
// Instances alive of each group: this module makes no second while one lives.
uint32_t live_instances[2] = {};
uint32_t& live_of(const group_info& info) { return live_instances[&info == &first_group ? 0 : 1]; }
#endif

// A command group on the heap, freed on its last release: a host that calls it
// after releasing its last reference uses freed memory.
class command_group final : public mainmenu_commands {
 public:
  // One counted reference for the caller; throws bad_alloc when the heap fails.
  static command_group* make(const group_info& info) {
    void* block = malloc(sizeof(command_group));
    if (block == nullptr) throw std::bad_alloc();
    return new (block) command_group(info);
  }

  uint32_t release() override {
    const uint32_t count = --count_;
    if (count == 0) {
      this->~command_group();
      free(this);
    }
    return count;
  }
#ifdef CHECKER_FAULT_COUNTS_OFF
  // add_ref answers the new count: this one answers one more.
  uint32_t add_ref() override { return ++count_ + 1; }
#else
  uint32_t add_ref() override { return ++count_; }
#endif

  bool query(service_ref& out, const GUID& service_class) override {
#ifdef CHECKER_FAULT_QUERY_ANSWERS_ALL
    // query must answer only the classes the object implements.
    (void)service_class;
#else
    if (!quarlo::guid_equal(service_class, mainmenu_commands::class_guid)) {
#ifdef CHECKER_FAULT_QUERY_WRITES_ON_MISS
      // A miss must leave out alone: this empties it.
      out.reset();
#endif
      return false;
    }
#endif
#ifdef CHECKER_FAULT_QUERY_REFUSES_OWN_CLASS
    // An object answers the class it was found by: this one refuses it.
    return false;
#endif
#ifdef CHECKER_FAULT_QUERY_DIFFERS_ON_THREAD
    // It answers so on every thread: this one refuses it but to the loading thread.
    if (GetCurrentThreadId() != loading_thread) return false;
#endif
    out.assign(this);
    return true;
  }

  uint32_t command_count() override {
#ifdef CHECKER_FAULT_CRASH_IN_SLOT
    // A slot must not crash the host: this writes through a null pointer.
    volatile uint32_t* volatile nowhere = nullptr;
    *nowhere = info_.count;
#endif
    return info_.count;
  }

  GUID command_guid(uint32_t index) override {
    return index < info_.count ? info_.commands[index].guid : quarlo::null_guid;
  }

  void command_name(uint32_t index, trel::string_base& out) override {
    if (index < info_.count) {
      out.assign_text(info_.commands[index].name, trel::until_nul);
    } else {
      write_past_end(out);
    }
  }

  bool command_description(uint32_t index, trel::string_base& out) override {
    if (index >= info_.count) {
      write_past_end(out);
      return false;
    }
    out.assign_text(info_.commands[index].description, trel::until_nul);
    return true;
  }

  GUID parent_group() override { return info_.parent; }

  uint32_t sort_priority() override {
#ifdef CHECKER_FAULT_HANG_IN_SLOT
    // A slot must return: this one never does.
    for (;;) Sleep(1000);
#endif
    return info_.priority;
  }

  bool display_state(uint32_t index, trel::string_base& text, uint32_t& flags) override {
    if (index >= info_.count) {
      write_past_end(text);
      return false;
    }
    text.assign_text(info_.commands[index].name, trel::until_nul);
    flags = 0;
    return true;
  }

  void run_command(uint32_t index, service_ref callback) override {
#if defined(CHECKER_FAULT_RUN_KEEPS_CALLBACK)
    // run_command must release its callback: this takes it over and never releases it.
    callback.detach();
#elif defined(CHECKER_FAULT_RUN_RELEASES_TWICE)
    // run_command must release its callback once: this releases it twice.
    if (callback) callback.get()->release();
    callback.reset();
#elif defined(CHECKER_FAULT_CALLBACK_KEPT_BY_REAL_RUN)
    // A run that runs must release its callback too: this one keeps it.
    if (index < info_.count) {
      callback.detach();
    } else {
      callback.reset();
    }
#else
    callback.reset();
#endif
    if (index >= info_.count) return;
    ++runs_;
#ifdef CHECKER_FAULT_RUN_CRASHES
    // A command must not crash the host when run: this writes through a null pointer.
    volatile uint32_t* volatile nowhere = nullptr;
    *nowhere = index;
#elif defined(CHECKER_FAULT_CRASH_IN_EXPORT)
    checker_crash_here(index);
#endif
    if (info_.opens_dialog && index == 0) run_dialog();
  }

 private:
#ifdef CHECKER_FAULT_ONE_INSTANCE_AT_A_TIME
  explicit command_group(const group_info& info) : info_(info) { ++live_of(info); }
  ~command_group() { --live_of(info_); }
#else
  explicit command_group(const group_info& info) : info_(info) {}
  ~command_group() = default;
#endif

  static void write_past_end(trel::string_base& out) {
#ifdef CHECKER_FAULT_NAME_PAST_END
    // An index past the end must leave the string alone: this writes into it.
    out.assign_text("past the end", trel::until_nul);
#else
    (void)out;
#endif
  }

  const group_info& info_;
  uint32_t count_ = 1;
  uint32_t runs_ = 0;
};

class group_factory final : public service_factory_base {
 public:
  group_factory(const group_info& info, service_factory_base* following) : info_(info) {
    next = following;
    service_class = &mainmenu_commands::class_guid;
  }
  void make_instance(service_ref& out) override {
#ifdef CHECKER_FAULT_ONE_INSTANCE_AT_A_TIME
    // The host may hold several instances of a record: this makes none while one lives.
    if (live_of(info_) != 0) return;
#endif
#ifdef CHECKER_FAULT_INSTANCE_SWALLOWS_BAD_ALLOC
    // A failed allocation must come out as bad_alloc: this makes no instance instead.
    try {
      out.adopt(command_group::make(info_));
    } catch (const std::bad_alloc&) {
    }
#else
    out.adopt(command_group::make(info_));
#endif
  }

 private:
  const group_info& info_;
};

#ifdef CHECKER_FAULT_PLACEHOLDER_RECORD
// Every record names a class and makes an instance: this one, left at the
// chain's end, does neither.
class placeholder_factory final : public service_factory_base {
 public:
  placeholder_factory() {
    next = nullptr;
    service_class = nullptr;
  }
  void make_instance(service_ref&) override {}
};
placeholder_factory placeholder;
group_factory second_factory(second_group, &placeholder);
#else
group_factory second_factory(second_group, nullptr);
#endif
group_factory first_factory(first_group, &second_factory);
#ifdef CHECKER_FAULT_FIRST_FACTORY_TWIN
// The same record on every call: this module hands out a twin of it every
// other time, alike in all but its address.
group_factory first_factory_twin(first_group, &second_factory);
uint32_t first_factory_calls = 0;
#endif

// The setting's record: GUID, 32-bit little-endian length, the 4-byte value.
constexpr GUID setting_guid = {
    0x2E9F6A13, 0x8C04, 0x4D5B, {0xB7, 0x3A, 0x91, 0x0E, 0x6C, 0x28, 0xF4, 0x55}};
constexpr uint32_t value_bytes = 4;
constexpr uint32_t header_bytes = 20;

void put_u32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t get_u32(const uint8_t* in) {
  return uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
}

void put_guid(uint8_t* out, const GUID& id) {
  put_u32(out, id.Data1);
  out[4] = static_cast<uint8_t>(id.Data2);
  out[5] = static_cast<uint8_t>(id.Data2 >> 8);
  out[6] = static_cast<uint8_t>(id.Data3);
  out[7] = static_cast<uint8_t>(id.Data3 >> 8);
  memcpy(out + 8, id.Data4, 8);
}

bool is_setting_guid(const uint8_t* in) {
  uint8_t own[16];
  put_guid(own, setting_guid);
  return memcmp(in, own, sizeof own) == 0;
}

// Reads up to count bytes, however the source splits them; fewer only at its end.
uint32_t read_up_to(byte_source& source, uint8_t* buffer, uint32_t count, abort_signal& abort) {
  uint32_t got = 0;
  while (got < count) {
    const uint32_t n = source.read(buffer + got, count - got, abort);
    if (n == 0) break;
    got += n;
  }
  return got;
}

class checker_client final : public module_client {
 public:
  ~checker_client() {
    clear_texts();
    unregister_swatch();
  }

#ifdef CHECKER_FAULT_VERSION_CHANGES
  // The version is the build's, the same on every call: this one changes.
  uint32_t client_version() override { return contract_version + (version_calls_++ & 1); }
#else
  uint32_t client_version() override { return contract_version; }
#endif
  service_factory_base* first_factory() override {
#ifdef CHECKER_FAULT_THREAD_DIFFERS
    // Every thread of the host must see the same factories: this shows them to the loading one
    // only.
    if (GetCurrentThreadId() != loading_thread) return nullptr;
#endif
#ifdef CHECKER_FAULT_FACTORY_LOOP
    // The factory chain must end: this one leads back to its head.
    second_factory.next = &::first_factory;
#endif
#ifdef CHECKER_FAULT_FIRST_FACTORY_TWIN
    if ((first_factory_calls++ & 1) != 0) return &first_factory_twin;
#endif
    return &::first_factory;
  }

  // The record is put together on the heap, so a save has a heap call to fail.
  void save_settings(byte_sink& sink, abort_signal& abort) override {
    auto* record = static_cast<uint8_t*>(malloc(header_bytes + value_bytes));
    if (record == nullptr) {
#ifdef CHECKER_FAULT_SAVE_SWALLOWS_BAD_ALLOC
      // A failed allocation must fail the save: this one saves nothing and returns.
      return;
#else
      throw std::bad_alloc();
#endif
    }
    struct freed {
      uint8_t* block;
      ~freed() { free(block); }
    } hold{record};
    put_guid(record, setting_guid);
    put_u32(record + 16, value_bytes);
    put_u32(record + header_bytes, value_);
#ifdef CHECKER_FAULT_SINK_SWALLOWED
    // The sink's failure must fail the save: this one stops it, and the host
    // takes the save for whole.
    try {
      sink.write(record, header_bytes + value_bytes, abort);
    } catch (const quarlo_io::exception_io&) {
    }
#else
    sink.write(record, header_bytes + value_bytes, abort);
#endif
#ifdef CHECKER_FAULT_SAVE_APPENDS_COUNTER
    // A save is records only, the same bytes each time: this appends a byte
    // counting the saves since the last load.
    const uint8_t saves = saves_since_load_++;
    sink.write(&saves, 1, abort);
#endif
  }

  void load_settings(byte_source& source, abort_signal& abort) override {
#ifdef CHECKER_FAULT_SAVE_APPENDS_COUNTER
    saves_since_load_ = 0;
#endif
#ifdef CHECKER_FAULT_LOAD_SWALLOWS_HOST_EXCEPTION
    // The host's exceptions must pass out of load_settings: this stops them all.
    try {
      load_records(source, abort);
    } catch (const std::exception&) {
    }
#else
    load_records(source, abort);
#endif
  }

  void set_location_texts(const char* text1, const char* text2) override {
#ifdef CHECKER_FAULT_TEXTS_LEAK_AFTER_SERVICES_GONE
    // Texts replaced must be freed: once the services have come and gone, these are not.
    if (services_gone_) {
      text1_ = copy_text(text1);
      text2_ = copy_text(text2);
      return;
    }
#endif
#ifdef CHECKER_FAULT_REJECTS_LONG_TEXTS
    // Texts of any length must be taken: this refuses those over 256 KiB.
    if (strlen(text1) > 0x40000 || strlen(text2) > 0x40000) {
      throw quarlo_io::exception_io("location text too long");
    }
#endif
#ifdef CHECKER_FAULT_SWALLOWED_BAD_ALLOC
    // A failed allocation must come out as bad_alloc: this drops the texts instead.
    try {
      keep_texts(text1, text2);
    } catch (const std::bad_alloc&) {
      clear_texts();
    }
#else
    keep_texts(text1, text2);
#endif
  }

  void services_ready(bool ready) override {
#ifdef CHECKER_FAULT_SERVICES_READY_THROWS
    // The host's notice must return normally: this one fails when services go.
    if (!ready) throw quarlo_io::exception_io("services gone");
#endif
    services_gone_ = services_gone_ || (ready_ && !ready);
    ready_ = ready;
  }
#ifdef CHECKER_FAULT_DEBUG_BUILD
  bool debug_build() override { return true; }
#else
  bool debug_build() override { return false; }
#endif

 private:
  void load_records(byte_source& source, abort_signal& abort) {
    for (;;) {
      uint8_t header[header_bytes];
      try {
        source.read_exact(header, 16, abort);
        source.read_exact(header + 16, 4, abort);
      } catch (const quarlo_io::exception_io_data&) {
        return;  // the end of the stream, possibly inside a header
      }
      const uint32_t length = get_u32(header + 16);
      if (is_setting_guid(header)) {
        load_own_record(source, length, abort);
      } else {
#ifdef CHECKER_FAULT_REFUSES_LONG_RECORDS
        // Damaged data ends as the stream's data exception: this refuses a long
        // record with the plain I/O exception, which tells of a failed device.
        if (length > 0x10000) throw quarlo_io::exception_io("settings record too long");
#endif
        source.skip_exact(length, abort);
      }
    }
  }

  void load_own_record(byte_source& source, uint32_t length, abort_signal& abort) {
#ifdef CHECKER_FAULT_LOAD_READS_PAST_RECORD
    // A record's payload ends at its length: this reads the whole value regardless.
    const uint32_t wanted = value_bytes;
#else
    const uint32_t wanted = length < value_bytes ? length : value_bytes;
#endif
    uint8_t payload[value_bytes];
    if (read_up_to(source, payload, wanted, abort) < wanted) {
      throw quarlo_io::exception_io_data_truncation("settings record cut short");
    }
    // A payload of another length is no value of this build: it is stepped over.
    if (length == value_bytes) value_ = get_u32(payload);
    if (length > value_bytes) source.skip_exact(length - value_bytes, abort);
  }

  // Both copies are made before either is kept, so a failure changes nothing.
  void keep_texts(const char* text1, const char* text2) {
    char* copy1 = copy_text(text1);
    char* copy2 = nullptr;
    try {
      copy2 = copy_text(text2);
    } catch (const std::bad_alloc&) {
      free(copy1);
      throw;
    }
#ifdef CHECKER_FAULT_TEXTS_LEAK_WHEN_REPLACED
    // Texts replaced must be freed: these are dropped instead.
    text1_ = nullptr;
    text2_ = nullptr;
#endif
    clear_texts();
    text1_ = copy1;
    text2_ = copy2;
  }

  // Null for an empty text: an emptied text holds no block.
  static char* copy_text(const char* text) {
    if (text == nullptr || *text == '\0') return nullptr;
    const size_t size = strlen(text) + 1;
    char* copy = static_cast<char*>(malloc(size));
    if (copy == nullptr) throw std::bad_alloc();
    memcpy(copy, text, size);
    return copy;
  }

  void clear_texts() {
    free(text1_);
    free(text2_);
    text1_ = nullptr;
    text2_ = nullptr;
  }

  uint32_t value_ = 0x00C0FFEE;
  char* text1_ = nullptr;
  char* text2_ = nullptr;
  bool ready_ = false;
  bool services_gone_ = false;
#ifdef CHECKER_FAULT_VERSION_CHANGES
  uint32_t version_calls_ = 0;
#endif
#ifdef CHECKER_FAULT_SAVE_APPENDS_COUNTER
  uint8_t saves_since_load_ = 0;
#endif
};

checker_client client;
#ifdef CHECKER_FAULT_SECOND_CLIENT
// The host may enter the module again and must reach the same client: this
// module hands out another one after the first time.
checker_client second_client;
bool entered = false;
#endif

#ifdef CHECKER_FAULT_REGISTERS_CLASS_AT_LOAD
// A module's classes go when it unloads: this one, registered by a static
// constructor as the module loads, stays.
struct class_at_load {
  class_at_load() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = swatch_proc;
    wc.hInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
    wc.lpszClassName = L"checker_at_load";
    RegisterClassExW(&wc);
  }
} registered_at_load;
#endif

}  // namespace

#ifdef CHECKER_FAULT_SECOND_EXPORT
// A module exports quarlo_get_interface alone: this is a second export.
extern "C" __declspec(dllexport) int __cdecl checker_second_export() { return 0; }
#endif

extern "C" __declspec(dllexport) module_client* __cdecl quarlo_get_interface(host_api* host,
                                                                             HINSTANCE instance) {
  the_host = host;
  the_instance = instance;
  if (loading_thread == 0) loading_thread = GetCurrentThreadId();
#ifdef CHECKER_FAULT_BLOCK_LEFT_AT_UNLOAD
  // Everything a module allocates is freed by its unload: this block never is.
  static void* volatile kept = malloc(32);
  (void)kept;
#endif
#ifdef CHECKER_FAULT_HEAP_BLOCK_LEFT_AT_UNLOAD
  // The same, from the process's heap.
  static void* volatile kept_on_heap = HeapAlloc(GetProcessHeap(), 0, 32);
  (void)kept_on_heap;
#endif
#ifdef CHECKER_FAULT_SECOND_CLIENT
  if (entered) return &second_client;
  entered = true;
#endif
  return &client;
}
