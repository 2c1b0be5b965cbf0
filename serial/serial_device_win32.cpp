// The serial device on Windows: a COM port opened for overlapped I/O.  The
// port's own time-outs shape every read request; the overlapped mode only
// lets a read be waited for with those time-outs and a write be started
// without waiting.
#include <windows.h>

#include "common/text.h"
#include "serial/serial_device.h"

namespace smstest {

namespace {

// Removes the NUL bytes from data[0, length) in place; returns the new length.
int strip_nuls(char* data, int length) {
  int kept = 0;
  for (int i = 0; i < length; ++i) {
    if (data[i] != '\0') data[kept++] = data[i];
  }
  return kept;
}

class Win32SerialDevice : public SerialDevice {
 public:
  Win32SerialDevice() {
    // Two unnamed auto-reset events, not signalled: a write still running
    // never disturbs the wait for a read.
    writeOverlapped_.hEvent = CreateEventA(nullptr, FALSE, FALSE, "");
    readOverlapped_.hEvent = CreateEventA(nullptr, FALSE, FALSE, "");
  }

  ~Win32SerialDevice() override {
    close();
    if (writeOverlapped_.hEvent != nullptr) CloseHandle(writeOverlapped_.hEvent);
    if (readOverlapped_.hEvent != nullptr) CloseHandle(readOverlapped_.hEvent);
  }

  bool open(const char* name) override {
    close();
    // No sharing: a port that another program (or another device here) holds
    // fails with ERROR_ACCESS_DENIED.
    HANDLE handle = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    handle_ = handle;
    return true;
  }

  bool configure(int baudRate) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle_, &dcb)) return false;
    // Members not named here keep what the port had: fBinary, fDtrControl,
    // fDsrSensitivity, fErrorChar and the XON/XOFF limits and characters.
    // In the flag word: fParity, fOutxDsrFlow, fOutX, fInX and the low bit of
    // fRtsControl cleared, 0x6884 set.
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = TRUE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fAbortOnError = TRUE;
    dcb.EvtChar = '\n';
    return SetCommState(handle_, &dcb) != FALSE;
  }

  bool set_timeouts(const SerialTimeouts& timeouts) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    COMMTIMEOUTS port;
    ZeroMemory(&port, sizeof port);
    GetCommTimeouts(handle_, &port);
    port.ReadIntervalTimeout = static_cast<DWORD>(timeouts.readInterval);
    port.ReadTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.readTotalMultiplier);
    port.ReadTotalTimeoutConstant = static_cast<DWORD>(timeouts.readTotalConstant);
    port.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts.writeTotalMultiplier);
    port.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts.writeTotalConstant);
    bool ok = SetCommTimeouts(handle_, &port) != FALSE;
    timeouts_ = timeouts;
    // Received characters, transmitter empty, carrier changes and line errors
    // are watched, though nothing waits for them; the mask goes with the
    // timing, before the queues are purged.
    SetCommMask(handle_, EV_RXCHAR | EV_TXEMPTY | EV_RLSD | EV_ERR);
    return ok;
  }

  bool purge() override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    return PurgeComm(handle_, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR) !=
           FALSE;
  }

  ReadRequest read(char* buffer, int count, int& got) override {
    got = 0;
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return ReadRequest::kRefused;
    }
    if (count <= 0) return ReadRequest::kDone;

    DWORD received = 0;
    if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &received, &readOverlapped_)) {
      if (GetLastError() != ERROR_IO_PENDING) return ReadRequest::kRefused;
      // The port's time-outs end the request within about 100 ms.
      if (!GetOverlappedResult(handle_, &readOverlapped_, &received, TRUE)) {
        // Wine fails a request that timed out with nothing read with
        // ERROR_TIMEOUT where Windows completes it with 0 bytes; both are an
        // empty request.  Windows never gives this code for a port read.
        if (GetLastError() != ERROR_TIMEOUT) return ReadRequest::kWaitFailed;
        received = 0;
      }
    }
    // fNull discards NULs in the port driver on Windows; Wine ignores the flag.
    got = strip_nuls(buffer, static_cast<int>(received));
    return ReadRequest::kDone;
  }

  ReadRequest read_waiting(char* buffer, int count, int& got) override {
    got = 0;
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return ReadRequest::kRefused;
    }
    if (count <= 0) return ReadRequest::kDone;
    // Asked for no more than the input queue holds, a read is complete at
    // once under the port's own time-outs.  ClearCommError also clears a
    // line error that fAbortOnError left standing, which the next read or
    // write would otherwise fail on.
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof status);
    if (!ClearCommError(handle_, &errors, &status)) return ReadRequest::kRefused;
    const DWORD waiting =
        status.cbInQue < static_cast<DWORD>(count) ? status.cbInQue : static_cast<DWORD>(count);
    if (waiting == 0) return ReadRequest::kDone;
    DWORD received = 0;
    if (!ReadFile(handle_, buffer, waiting, &received, &readOverlapped_)) {
      if (GetLastError() != ERROR_IO_PENDING) return ReadRequest::kRefused;
      if (!GetOverlappedResult(handle_, &readOverlapped_, &received, TRUE)) {
        // Wine's way of saying that nothing was there (see read()).
        if (GetLastError() != ERROR_TIMEOUT) return ReadRequest::kWaitFailed;
        received = 0;
      }
    }
    got = strip_nuls(buffer, static_cast<int>(received));
    return ReadRequest::kDone;
  }

  bool start_write(const char* data, int length) override {
    if (handle_ == INVALID_HANDLE_VALUE) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    if (length < 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return false;
    }
    // Queued or done, the write counts as accepted: its completion is never
    // awaited, so a write that the port abandons later at its write time-out
    // (CTS held low) goes unnoticed.  The same record serves every write.
    DWORD written = 0;
    if (WriteFile(handle_, data, static_cast<DWORD>(length), &written, &writeOverlapped_)) {
      writeQueued_ = false;
      return true;
    }
    DWORD code = GetLastError();
    if (code == ERROR_IO_PENDING) {
      writeQueued_ = true;
      writeLimit_ =
          static_cast<DWORD>(timeouts_.writeTotalMultiplier) * static_cast<DWORD>(length) +
          static_cast<DWORD>(timeouts_.writeTotalConstant);
      return true;
    }
    // Refused outright; a failure without an error code counts as a write
    // that went out.
    return code == 0;
  }

  bool drain(int timeoutMs) override {
    if (handle_ == INVALID_HANDLE_VALUE || !writeQueued_) return true;
    // The queued write ends when the port has taken all of it; it is waited
    // for, never longer than `timeoutMs`.
    if (!HasOverlappedIoCompleted(&writeOverlapped_)) {
      const DWORD wait = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
      if (WaitForSingleObject(writeOverlapped_.hEvent, wait) != WAIT_OBJECT_0) return false;
    }
    writeQueued_ = false;
    return true;
  }

  void close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    // A queued write may still be running on writeOverlapped_.  Cancel it and
    // let it end before the handle goes, so that its completion never lands
    // in a record that has been freed; output not yet sent is abandoned, as
    // closing the port would abandon it.  A WriteFile that failed at once may
    // leave the record marked as running with no completion to come, so only
    // a write known to have been queued is waited for, and never longer than
    // its own write time-out.
    if (writeQueued_ && !HasOverlappedIoCompleted(&writeOverlapped_)) {
      CancelIo(handle_);
      WaitForSingleObject(writeOverlapped_.hEvent, writeLimit_);
    }
    writeQueued_ = false;
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool is_open() const override { return handle_ != INVALID_HANDLE_VALUE; }

  int error_code() const override { return last_system_error(); }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  OVERLAPPED readOverlapped_ = {};
  OVERLAPPED writeOverlapped_ = {};
  SerialTimeouts timeouts_;
  bool writeQueued_ = false;  // the latest queued write may not have ended yet
  DWORD writeLimit_ = 0;      // its write time-out, milliseconds
};

}  // namespace

std::unique_ptr<SerialDevice> make_serial_device() {
  return std::unique_ptr<SerialDevice>(new Win32SerialDevice());
}

// COM1 to COM9 are known to the system by their short names; from COM10 on a
// port is reached only through the device namespace, "\\.\COM10".  The
// comparison is signed, so 0 and negative numbers take the short form too.
std::string serial_device_name(int portNumber) {
  return portNumber <= 9 ? format("COM%d", portNumber) : format("\\\\.\\COM%d", portNumber);
}

// Windows names its ports itself: nothing in the environment changes them.
std::string port_lookup_note(int /*portNumber*/) { return ""; }

int last_system_error() { return static_cast<int>(GetLastError()); }

bool system_error_message(int code, std::string& text) {
  // The system's text in the user's default language; FormatMessageA
  // allocates it and LocalFree releases it.
  char* message = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<LPSTR>(&message), 0, nullptr);
  bool found = length > 0 && message != nullptr;
  if (found) text.assign(message, length);
  if (message != nullptr) LocalFree(message);
  return found;
}

}  // namespace smstest
