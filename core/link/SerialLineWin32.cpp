// The serial line on Windows: a COM port (\\.\COMn) opened as a synchronous
// handle.
//
// The receive thread waits for input inside ReadFile, one byte at a time
// under a total read time-out (ReadTotalTimeoutConstant, one slice): the
// read returns as soon as a byte arrives, else once per slice, so the thread
// never spins and needs no WaitCommEvent. Whatever else has arrived is then
// read without waiting, as much as ClearCommError reports queued. An
// interval time-out would end the wait only after the last byte of a burst,
// and on the system's timer tick.
//
// Windows runs the calls on one synchronous handle one after the other: a
// WriteFile waits while the receive thread is inside ReadFile. So a writer
// (and Wake) first keeps the receive thread from starting another read,
// then cancels the one under way (CancelSynchronousIo); the read returns at
// once and the bytes are out before the step's wait begins. Where the
// system cannot cancel the read (Wine), or the cancel comes just before the
// read starts, the read still ends within its slice.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "link/SerialLine.h"
#include "link/WindowsText.h"

namespace {

constexpr DWORD kReadSliceMs = 50;      // longest a wait for input reads before it looks again
constexpr DWORD kWriteBudgetMs = 1000;  // longest a write may take

LineFailure OpenFailure(DWORD error)
{
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return LineFailure::NoSuchDevice;
        // A COM port another program holds answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return LineFailure::Busy;
        default:
            return LineFailure::Other;
    }
}

class Win32SerialLine final : public SerialLine {
public:
    ~Win32SerialLine() override { Close(); }

    bool Open(const std::string& device) override
    {
        Close();
        error_ = {};
        handle_ = CreateFileW(WideFromUtf8(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            return Fail(OpenFailure(error), error);
        }
        std::lock_guard lock(mutex_);
        gone_ = false;
        goneReported_ = false;
        wakeRequested_ = false;
        claimed_ = false;
        reading_ = false;
        stashed_ = false;
        return true;
    }

    bool Configure(const LineSettings& settings) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(handle_, &dcb)) return Fail(LineFailure::NotSerial, GetLastError());
        dcb.BaudRate = settings.baudRate;
        dcb.ByteSize = settings.dataBits;
        dcb.Parity = settings.parity;  // 0 none, 1 odd, 2 even, as in the DCB
        dcb.StopBits = settings.stopBits != 0 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = settings.parity != 0;
        const bool hardwareFlow = settings.flowControl & 0x02;
        dcb.fOutxCtsFlow = hardwareFlow;
        dcb.fRtsControl = hardwareFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = dcb.fInX = (settings.flowControl & 0x04) != 0;
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;  // a framing error must not stop every later read
        if (!SetCommState(handle_, &dcb)) return Fail(LineFailure::SettingsRefused, GetLastError());

        COMMTIMEOUTS timeouts{};
        timeouts.ReadTotalTimeoutConstant = kReadSliceMs;
        timeouts.WriteTotalTimeoutConstant = kWriteBudgetMs;
        if (!SetCommTimeouts(handle_, &timeouts)) return Fail(LineFailure::SettingsRefused, GetLastError());
        return true;
    }

    const LineError& LastError() const override { return error_; }

    bool SetDtr(bool raised) override
    {
        // Some adapters (and Wine's pseudo-terminals) have no modem lines
        // and refuse: the line works without them.
        if (handle_ == INVALID_HANDLE_VALUE) return true;
        Claim();
        const bool done = EscapeCommFunction(handle_, raised ? SETDTR : CLRDTR) != 0;
        Release();
        return done;
    }

    void Purge() override
    {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        Claim();
        PurgeComm(handle_, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        {
            std::lock_guard lock(mutex_);
            stashed_ = false;
        }
        Release();
    }

    // Called while no receive thread runs.
    void Close() override
    {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
        if (readerThread_ != nullptr) CloseHandle(readerThread_);
        readerThread_ = nullptr;
        readerThreadId_ = 0;
    }

    int ReadQueued(std::uint8_t* destination, int maxBytes) override
    {
        if (handle_ == INVALID_HANDLE_VALUE || gone_ || maxBytes <= 0) return 0;
        {
            std::lock_guard lock(mutex_);
            if (stashed_) {
                stashed_ = false;
                *destination = stash_;
                return 1;
            }
        }
        COMSTAT status{};
        DWORD errors = 0;
        if (!ClearCommError(handle_, &errors, &status)) {
            MarkGone();
            return 0;
        }
        const DWORD wanted = std::min<DWORD>(status.cbInQue, static_cast<DWORD>(maxBytes));
        if (wanted == 0) return 0;
        // The bytes are queued already: the read returns at once.
        DWORD count = 0;
        if (!ReadFile(handle_, destination, wanted, &count, nullptr)) MarkGone();
        return static_cast<int>(count);
    }

    void Write(const std::uint8_t* bytes, int count) override
    {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        Claim();
        while (count > 0) {
            DWORD written = 0;
            if (!WriteFile(handle_, bytes, static_cast<DWORD>(count), &written, nullptr)) {
                // An adapter pulled out fails every call on its handle.
                MarkGone();
                break;
            }
            if (written == 0) break;  // the write budget ran out
            bytes += written;
            count -= static_cast<int>(written);
        }
        Release();
    }

    Event WaitForEvent() override
    {
        if (handle_ == INVALID_HANDLE_VALUE) return Event::Gone;
        std::unique_lock lock(mutex_);
        RememberReaderThread();
        for (;;) {
            ready_.wait(lock, [this] { return wakeRequested_ || gone_ || !claimed_; });
            if (wakeRequested_ || (gone_ && goneReported_)) {
                ready_.wait(lock, [this] { return wakeRequested_; });
                wakeRequested_ = false;
                return Event::Woken;
            }
            if (gone_) {
                goneReported_ = true;
                return Event::Gone;
            }
            reading_ = true;
            lock.unlock();
            std::uint8_t byte = 0;
            DWORD count = 0;
            const bool read = ReadFile(handle_, &byte, 1, &count, nullptr);
            const DWORD error = read ? ERROR_SUCCESS : GetLastError();
            lock.lock();
            reading_ = false;
            if (count == 1) {
                stash_ = byte;
                stashed_ = true;
                return Event::Input;
            }
            // Cancelled for a writer or a wake-up, or the slice is over;
            // any other failure means the device went away.
            if (!read && error != ERROR_OPERATION_ABORTED) gone_ = true;
        }
    }

    void Wake() override
    {
        std::lock_guard lock(mutex_);
        wakeRequested_ = true;
        CancelRead();
        ready_.notify_all();
    }

    bool Gone() const override { return gone_; }

private:
    // Records why Open or Configure failed (error 0: no system error).
    bool Fail(LineFailure failure, DWORD error)
    {
        error_.failure = failure;
        error_.systemText = error != 0 ? SystemErrorText(error) : std::string();
        return false;
    }

    // The receive thread's handle, for CancelSynchronousIo. Mutex held.
    void RememberReaderThread()
    {
        if (readerThreadId_ == GetCurrentThreadId()) return;
        if (readerThread_ != nullptr) CloseHandle(readerThread_);
        readerThreadId_ = GetCurrentThreadId();
        readerThread_ = OpenThread(THREAD_TERMINATE, FALSE, readerThreadId_);
    }

    // Ends the receive thread's read under way, if it is in one. Mutex held.
    void CancelRead()
    {
        if (reading_ && readerThread_ != nullptr) CancelSynchronousIo(readerThread_);
    }

    // The handle for this thread's call: the receive thread starts no read
    // until Release, and the one under way is cancelled.
    void Claim()
    {
        std::lock_guard lock(mutex_);
        claimed_ = true;
        CancelRead();
    }

    void Release()
    {
        {
            std::lock_guard lock(mutex_);
            claimed_ = false;
        }
        ready_.notify_all();
    }

    void MarkGone()
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        CancelRead();
        ready_.notify_all();
    }

    HANDLE handle_ = INVALID_HANDLE_VALUE;
    LineError error_;

    // The mutex orders the receive thread's reads with writers and wake-ups.
    std::mutex mutex_;
    std::condition_variable ready_;
    HANDLE readerThread_ = nullptr;
    DWORD readerThreadId_ = 0;
    bool reading_ = false;        // the receive thread is in (or just before) its waiting read
    bool claimed_ = false;        // another call has the handle: no read may start
    bool wakeRequested_ = false;  // Wake was called; WaitForEvent returns Woken
    std::atomic<bool> gone_{false};
    bool goneReported_ = false;  // WaitForEvent returned Gone once; it now waits for Wake only
    bool stashed_ = false;       // the byte that ended the waiting read is not handed out yet
    std::uint8_t stash_ = 0;
};

}  // namespace

std::unique_ptr<SerialLine> MakeLocalSerialLine() { return std::make_unique<Win32SerialLine>(); }
