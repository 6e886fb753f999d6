// The platform layer for Windows (Win32 console programs). The only file of
// adpack that includes a Windows header. Every file is reached through its
// HANDLE and Win32 calls, never through the C runtime's descriptors or
// streams, so no byte is translated on its way: the program's own streams
// (src/driver/stream.cc) do all buffering and all CR LF translation.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>

#include "platform/platform.h"

// mingw-w64's start-up code expands wildcards in the C runtime's argv when
// this is nonzero. adpack splits GetCommandLineA() itself and never looks at
// that argv, but nothing should search the disk for "*" before it starts.
extern "C" {
int _dowildcard = 0;
}

namespace {

// ENABLE_VIRTUAL_TERMINAL_INPUT, which older headers lack.
constexpr DWORD VIRTUAL_TERMINAL_INPUT = 0x0200;

HANDLE handle_of(PlatformFile file) { return reinterpret_cast<HANDLE>(file); }

PlatformFile file_of(HANDLE handle) {
  return reinterpret_cast<PlatformFile>(handle);
}

// ReadFile and WriteFile count in DWORDs; larger requests are done in parts
// by the callers' loops (a short count is never an error).
constexpr std::size_t MAX_TRANSFER = 0x40000000;

DWORD transfer_size(std::size_t size) {
  return static_cast<DWORD>(size < MAX_TRANSFER ? size : MAX_TRANSFER);
}

bool file_attributes(const char *name, WIN32_FILE_ATTRIBUTE_DATA *data) {
  return GetFileAttributesExA(name, GetFileExInfoStandard, data) != 0;
}

bool is_directory(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The identity of what name names: its volume and its index on the volume.
bool file_identity(const char *name, BY_HANDLE_FILE_INFORMATION *info) {
  // No access is asked for beyond the attributes, and every kind of sharing
  // is granted, so a file that someone holds open can still be compared;
  // backup semantics let a directory be opened too.
  HANDLE handle =
      CreateFileA(name, FILE_READ_ATTRIBUTES,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  bool ok = GetFileInformationByHandle(handle, info) != 0;
  CloseHandle(handle);
  return ok;
}

// ---- Reasons for failures ---------------------------------------------------

// The system's own words where it has them in English; these where it does
// not (a system without the English messages).
struct KnownReason {
  DWORD code;
  const char *text;
};

const KnownReason KNOWN_REASONS[] = {
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified"},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified"},
    {ERROR_ACCESS_DENIED, "Access is denied"},
    {ERROR_SHARING_VIOLATION,
     "The process cannot access the file because it is being used by "
     "another process"},
    {ERROR_DISK_FULL, "There is not enough space on the disk"},
    {ERROR_HANDLE_DISK_FULL, "The disk is full"},
    {ERROR_FILE_EXISTS, "The file exists"},
    {ERROR_ALREADY_EXISTS,
     "Cannot create a file when that file already exists"},
    {ERROR_INVALID_NAME,
     "The filename, directory name, or volume label syntax is incorrect"},
    {ERROR_WRITE_PROTECT, "The media is write protected"},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available"},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty"},
};

char reason_text[512];

// FormatMessageA in English, trimmed of its full stop and line end; false
// when there is no such text or it is not plain ASCII.
bool english_reason(DWORD code) {
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reason_text,
      sizeof reason_text, nullptr);
  if (length == 0 || length >= sizeof reason_text) return false;
  while (length > 0 &&
         (reason_text[length - 1] == '\r' || reason_text[length - 1] == '\n' ||
          reason_text[length - 1] == ' ' || reason_text[length - 1] == '.'))
    --length;
  reason_text[length] = '\0';
  for (DWORD i = 0; i < length; ++i) {
    unsigned char byte = static_cast<unsigned char>(reason_text[i]);
    if (byte == '\r' || byte == '\n')
      reason_text[i] = ' ';
    else if (byte < 0x20 || byte > 0x7e)
      return false;
  }
  return length > 0;
}

// ---- The console key read ------------------------------------------------

// Keys that report no character of their own and only change what another
// key yields: pressed alone, they are no answer.
bool is_modifier(WORD key) {
  switch (key) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
    case VK_KANA:  // also VK_HANGUL
    case VK_KANJI:
    case VK_CONVERT:
    case VK_NONCONVERT:
    case VK_PROCESSKEY:
      return true;
    default:
      return false;
  }
}

// The keys that the console reports with a key code but no character: the
// navigation, editing and function keys, whose answer is 0.
bool is_extended(const KEY_EVENT_RECORD &key) {
  WORD code = key.wVirtualKeyCode;
  if (code >= VK_PRIOR && code <= VK_DOWN) return true;  // PgUp..Down arrow
  if (code >= VK_F1 && code <= VK_F24) return true;
  switch (code) {
    case VK_INSERT:
    case VK_DELETE:
    case VK_CLEAR:  // keypad 5 without Num Lock
    case VK_SELECT:
    case VK_PRINT:
    case VK_EXECUTE:
    case VK_SNAPSHOT:
    case VK_HELP:
    case VK_PAUSE:
      return true;
    default:
      break;
  }
  // Any other key that the console marks as one of the extended keys of the
  // enhanced keyboard.
  return (key.dwControlKeyState & ENHANCED_KEY) != 0;
}

// One key press from the console input: its character, 0 for an extended
// key, -1 when the read fails. A second byte of a double-byte character, when
// the console hands it over as a key event of its own, is stored in *trail
// (else -1), so that it is not left behind for the next reader.
int next_key(HANDLE input, int *trail) {
  *trail = -1;
  for (;;) {
    INPUT_RECORD record;
    DWORD count = 0;
    if (!ReadConsoleInputA(input, &record, 1, &count)) return -1;
    if (count == 0) continue;
    if (record.EventType != KEY_EVENT) continue;
    const KEY_EVENT_RECORD &key = record.Event.KeyEvent;
    if (!key.bKeyDown) continue;
    unsigned char byte = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (byte != 0) {
      if (IsDBCSLeadByteEx(GetConsoleCP(), byte)) {
        // The trail byte, if the console has it queued already.
        DWORD pending = 0;
        INPUT_RECORD next;
        if (GetNumberOfConsoleInputEvents(input, &pending) && pending > 0 &&
            PeekConsoleInputA(input, &next, 1, &count) && count == 1 &&
            next.EventType == KEY_EVENT && next.Event.KeyEvent.bKeyDown &&
            next.Event.KeyEvent.uChar.AsciiChar != 0 &&
            ReadConsoleInputA(input, &next, 1, &count) && count == 1) {
          *trail =
              static_cast<unsigned char>(next.Event.KeyEvent.uChar.AsciiChar);
        }
      }
      return byte;
    }
    if (is_modifier(key.wVirtualKeyCode)) continue;
    if (is_extended(key)) return 0;
    // A combination that has no code (Ctrl+1, say): no answer yet.
  }
}

// Writes the key back to the console at the cursor. Control characters and
// the 0 of an extended key are not shown: they would move the cursor or
// show as nothing anyway.
void echo_key(int key, int trail) {
  if (key < 0x20 || key == 0x7f) return;
  HANDLE output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE) return;
  char bytes[2] = {static_cast<char>(key), static_cast<char>(trail)};
  DWORD written = 0;
  WriteFile(output, bytes, trail >= 0 ? 2 : 1, &written, nullptr);
  CloseHandle(output);
}

}  // namespace

void platform_start(void) {
  // No "insert a disk" or "cannot open" dialog box: a name on a drive that
  // is not ready fails like any other name that cannot be opened.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // adpack writes through the standard HANDLEs, which know no text mode; the
  // C runtime's own descriptors are set to binary all the same, so that
  // nothing that might still reach them gains a second carriage return.
  _setmode(0, _O_BINARY);
  _setmode(1, _O_BINARY);
  _setmode(2, _O_BINARY);
  // A pipe whose reader has gone makes WriteFile fail, and nothing more:
  // Windows sends no signal for it.
}

const char *platform_command_line(void) { return GetCommandLineA(); }

bool platform_is_lead_byte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

PlatformFile platform_std_handle(PlatformStdHandle which) {
  return file_of(GetStdHandle(which == PLATFORM_STDOUT ? STD_OUTPUT_HANDLE
                                                       : STD_ERROR_HANDLE));
}

bool platform_is_char_device(PlatformFile file) {
  HANDLE handle = handle_of(file);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  return GetFileType(handle) == FILE_TYPE_CHAR;
}

// The console shows the Shift_JIS bytes through its own code page.
bool platform_is_utf8_terminal(PlatformFile) { return false; }

// The system itself finds a name in another letter case.
void platform_find_name(const char *name, char *found) {
  std::memcpy(found, name, std::strlen(name) + 1);
}

int platform_open(const char *name, PlatformOpenMode mode, PlatformFile *file) {
  DWORD access = GENERIC_WRITE;
  DWORD disposition = CREATE_ALWAYS;
  // No open here waits: a pipe that is busy or has no server fails at once.
  if (mode == PLATFORM_OPEN_READ || mode == PLATFORM_OPEN_READ_NO_WAIT) {
    access = GENERIC_READ;
    disposition = OPEN_EXISTING;
  } else if (mode == PLATFORM_OPEN_WRITE_NEW) {
    disposition = CREATE_NEW;
  } else if (mode == PLATFORM_OPEN_WRITE_KEEP) {
    disposition = OPEN_ALWAYS;
  }
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory cannot be opened.
  HANDLE handle =
      CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    if (mode != PLATFORM_OPEN_WRITE_NEW) return -1;
    DWORD error = GetLastError();
    // A directory in the way is reported as a denied access.
    bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ||
                 GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
    return taken ? -2 : -1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  DWORD type = GetFileType(handle);
  if ((type == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
       is_directory(info.dwFileAttributes)) ||
      (mode == PLATFORM_OPEN_WRITE_KEEP && type == FILE_TYPE_PIPE)) {
    CloseHandle(handle);
    return -1;
  }
  *file = file_of(handle);
  return 0;
}

int platform_open_regular(const char *name, PlatformFile *file) {
  HANDLE handle =
      CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // A directory is refused as a denied access.
    DWORD error = GetLastError();
    DWORD attributes = GetFileAttributesA(name);
    if (attributes != INVALID_FILE_ATTRIBUTES && is_directory(attributes))
      return -2;
    SetLastError(error);
    return -1;
  }
  BY_HANDLE_FILE_INFORMATION info;
  int result = 0;
  if (GetFileType(handle) != FILE_TYPE_DISK)
    result = -3;
  else if (!GetFileInformationByHandle(handle, &info))
    result = -1;
  else if (is_directory(info.dwFileAttributes))
    result = -2;
  if (result != 0) {
    DWORD error = GetLastError();
    CloseHandle(handle);
    SetLastError(error);
    return result;
  }
  *file = file_of(handle);
  return 0;
}

std::ptrdiff_t platform_read(PlatformFile file, void *buffer,
                             std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(handle_of(file), buffer, transfer_size(size), &got, nullptr)) {
    // The writer of a pipe has gone: the end of its data.
    if (GetLastError() == ERROR_BROKEN_PIPE) return 0;
    return -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

std::ptrdiff_t platform_write(PlatformFile file, const void *buffer,
                              std::size_t size) {
  DWORD written = 0;
  if (!WriteFile(handle_of(file), buffer, transfer_size(size), &written,
                 nullptr))
    return -1;
  return static_cast<std::ptrdiff_t>(written);
}

std::int64_t platform_seek(PlatformFile file, std::int64_t offset,
                           PlatformSeekOrigin origin) {
  DWORD method = origin == PLATFORM_SEEK_START     ? FILE_BEGIN
                 : origin == PLATFORM_SEEK_CURRENT ? FILE_CURRENT
                                                   : FILE_END;
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!SetFilePointerEx(handle_of(file), distance, &position, method))
    return -1;
  return position.QuadPart;
}

int platform_close(PlatformFile file) {
  return CloseHandle(handle_of(file)) ? 0 : -1;
}

// One byte far past the 4 GiB that a bank can reach: locks on Windows are
// mandatory, and one over real data would stop others' reads and writes.
constexpr DWORD LOCK_OFFSET_HIGH = 0x40000000;

int platform_lock(PlatformFile file) {
  OVERLAPPED at = {};
  at.OffsetHigh = LOCK_OFFSET_HIGH;
  if (LockFileEx(handle_of(file),
                 LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                 &at))
    return 0;
  return GetLastError() == ERROR_LOCK_VIOLATION ? -2 : -1;
}

int platform_empty(PlatformFile file) {
  HANDLE handle = handle_of(file);
  if (GetFileType(handle) != FILE_TYPE_DISK) return 0;
  LARGE_INTEGER start = {};
  return SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) &&
                 SetEndOfFile(handle)
             ? 0
             : -1;
}

bool platform_names_open_file(const char *name, PlatformFile file) {
  BY_HANDLE_FILE_INFORMATION named, open;
  if (!file_identity(name, &named) ||
      !GetFileInformationByHandle(handle_of(file), &open))
    return false;
  return named.dwVolumeSerialNumber == open.dwVolumeSerialNumber &&
         named.nFileIndexHigh == open.nFileIndexHigh &&
         named.nFileIndexLow == open.nFileIndexLow;
}

PlatformFileKind platform_file_kind(const char *name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!file_attributes(name, &data)) return PLATFORM_FILE_NONE;
  return is_directory(data.dwFileAttributes) ? PLATFORM_FILE_DIRECTORY
                                             : PLATFORM_FILE_OTHER;
}

// The system finds every letter case itself, so the spelling is the name's.
PlatformNamedKind platform_look_up(const char *name) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!file_attributes(name, &data)) return PLATFORM_NAMES_NOTHING;
  if (is_directory(data.dwFileAttributes)) return PLATFORM_NAMES_DIRECTORY;
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0
             ? PLATFORM_NAMES_SPECIAL
             : PLATFORM_NAMES_REGULAR;
}

bool platform_same_name(const char *first, const char *second) {
  // As the system's lookup does: letters that are whole characters of the
  // code page, in either case.
  std::size_t i = 0;
  for (;; ++i) {
    unsigned char a = static_cast<unsigned char>(first[i]);
    unsigned char b = static_cast<unsigned char>(second[i]);
    if (a == 0 || b == 0) return a == b;
    if (IsDBCSLeadByte(a)) {
      if (a != b || first[i + 1] != second[i + 1]) return false;
      if (first[i + 1] == 0) return true;
      ++i;
      continue;
    }
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    if (a != b) return false;
  }
}

int platform_file_size(const char *name, std::uint64_t *size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!file_attributes(name, &data)) return -1;
  if (is_directory(data.dwFileAttributes)) {
    *size = 0;
  } else {
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) |
            data.nFileSizeLow;
  }
  return 0;
}

int platform_make_directory(const char *name) {
  return CreateDirectoryA(name, nullptr) ? 0 : -1;
}

int platform_remove_file(const char *name) {
  return DeleteFileA(name) ? 0 : -1;
}

int platform_remove_directory(const char *name) {
  return RemoveDirectoryA(name) ? 0 : -1;
}

const char *platform_failure_reason(void) {
  DWORD code = GetLastError();
  if (code == ERROR_SUCCESS) return nullptr;
  if (english_reason(code)) return reason_text;
  for (const KnownReason &known : KNOWN_REASONS)
    if (known.code == code) return known.text;
  // By hand: wsprintfA would make the program import USER32.dll.
  const char prefix[] = "System error ";
  std::memcpy(reason_text, prefix, sizeof prefix - 1);
  char digits[16];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + code % 10);
    code /= 10;
  } while (code != 0);
  char *out = reason_text + sizeof prefix - 1;
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
  return reason_text;
}

bool platform_same_file(const char *first, const char *second) {
  BY_HANDLE_FILE_INFORMATION a, b;
  if (!file_identity(first, &a) || !file_identity(second, &b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
         a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

int platform_read_console_key(void) {
  // The console itself, whatever standard input is. Writing is asked for
  // too: SetConsoleMode needs it.
  HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (input == INVALID_HANDLE_VALUE) return -1;
  DWORD saved_mode;
  if (!GetConsoleMode(input, &saved_mode)) {
    CloseHandle(input);
    return -1;
  }
  // No line editing, no echo of its own, and Ctrl+C as the character 3;
  // keys as key codes, not as the escape sequences of a terminal.
  DWORD raw_mode =
      saved_mode &
      ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                          ENABLE_PROCESSED_INPUT | VIRTUAL_TERMINAL_INPUT);
  int key = -1;
  int trail = -1;
  if (SetConsoleMode(input, raw_mode)) key = next_key(input, &trail);
  if (!SetConsoleMode(input, saved_mode)) key = -1;
  CloseHandle(input);
  if (key >= 0) echo_key(key, trail);
  return key;
}

void platform_exit(int status) {
  // The whole 32 bits: -1 is reported as 0xFFFFFFFF.
  ExitProcess(static_cast<UINT>(status));
}

PlatformFile platform_std_input(void) {
  return file_of(GetStdHandle(STD_INPUT_HANDLE));
}

bool platform_failure_is_closed_pipe(void) {
  DWORD code = GetLastError();
  return code == ERROR_NO_DATA || code == ERROR_BROKEN_PIPE ||
         code == ERROR_PIPE_NOT_CONNECTED;
}

// The file system itself ignores letter case: every name is as found.
int platform_rename(const char *from, const char *to, bool replace) {
  if (MoveFileExA(from, to, replace ? MOVEFILE_REPLACE_EXISTING : 0)) return 0;
  DWORD code = GetLastError();
  return code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS ? -2 : -1;
}

namespace {

const char *volatile interrupt_removes = nullptr;

// Runs on a thread of its own; returning FALSE lets the process end as it
// would have.
BOOL WINAPI remove_on_control(DWORD) {
  const char *name = interrupt_removes;
  if (name) DeleteFileA(name);
  return FALSE;
}

}  // namespace

void platform_remove_on_interrupt(const char *name) {
  interrupt_removes = name;
  static bool handled = false;
  if (!name || handled) return;
  handled = true;
  SetConsoleCtrlHandler(remove_on_control, TRUE);
}
