// Buffered files (VQFile, VQWin32File), directory enumeration, the safe
// replace-on-save, and the small path and command-line helpers around them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>

#include "base/arrays.h"
#include "base/strings.h"

class VMString;

// Open flags.
enum : unsigned {
    kFileWrite = 0x01,       // without it: read
    kFileAppend = 0x02,      // with kFileWrite: open or create, start at the end
    kFileHandleOnly = 0x04,  // no buffer, existing files and folders, for file times
    kFileShareRead = 0x08,   // reading: others may also write and delete
    kFileShareWrite = 0x10,
};

// A buffered byte stream. Reads fill the buffer from the file and hand it out
// piece by piece; writes collect in the buffer and go out when it is full, on
// Flush, Seek or Close. Reads that take `ok` store whether every byte was
// there and return `def` when not; `bigEndian` swaps the bytes of the value.
class VQFile {
public:
    enum { kDefaultBufferSize = 8192, kCopyPiece = 1024 };

    VQFile();
    VQFile(const VQFile&) = delete;
    VQFile& operator=(const VQFile&) = delete;

    virtual ~VQFile();
    virtual bool Close();
    // Write mode flushes first; a failed flush keeps the file open unless force.
    virtual bool Close(bool force);
    virtual bool IsOpen();
    virtual unsigned GetFlags();
    virtual int64_t GetSize();
    virtual bool SetWindow(int64_t length);
    virtual bool Skip(int n);
    // Returns the count copied (short at the end of the file), -1 on a read
    // error. A null buf skips.
    virtual int Read(void* buf, int offset, int n);
    virtual int Read(bool* ok, void* buf, int offset, int n);
    virtual bool ReadExact(void* buf, int offset, int n);
    virtual int CopyTo(VQFile* dst, int n);
    // A new VMString of up to n bytes: cut to what was read, empty on a read error.
    virtual VMString* ReadVMString(int n);
    virtual VQString ReadString(int n);
    virtual int Read(bool* ok, void* buf, int n);
    virtual int Read(void* buf, int n);
    virtual bool ReadBool(bool* ok, bool def);
    virtual int8_t ReadInt8(bool* ok, int8_t def);
    virtual uint8_t ReadUInt8(bool* ok, uint8_t def);
    virtual int16_t ReadInt16(bool* ok, int16_t def, bool bigEndian = false);
    virtual uint16_t ReadUInt16(bool* ok, uint16_t def, bool bigEndian = false);
    virtual wchar_t ReadWChar(bool* ok, wchar_t def, bool bigEndian = false);
    virtual int32_t ReadInt32(bool* ok, int32_t def, bool bigEndian = false);
    virtual uint32_t ReadUInt32(bool* ok, uint32_t def, bool bigEndian = false);
    virtual int64_t ReadInt64(bool* ok, int64_t def, bool bigEndian = false);
    virtual uint64_t ReadUInt64(bool* ok, uint64_t def, bool bigEndian = false);
    virtual float ReadFloat(bool* ok, float def, bool bigEndian = false);
    virtual double ReadDouble(bool* ok, double def, bool bigEndian = false);
    // Up to a zero byte (or the end of the file) or max bytes; always
    // terminated, a full buffer losing its last byte. Returns the bytes
    // before the zero, or max when full.
    virtual int ReadCString(bool* ok, char* buf, int offset, int max);
    virtual VQString ReadLengthString(bool* ok);
    virtual VQWString ReadLengthWString(bool* ok);
    // A new VMString; empty unless every byte was there.
    virtual VMString* ReadLengthVMString(bool* ok);
    // One line without its CR LF or LF, at most max - 1 units, terminated.
    // Returns the length, or -1 at the end of the file.
    virtual int ReadLine(char* buf, int offset, int max);
    virtual int ReadLineW(wchar_t* buf, int offset, int max);
    virtual bool Write(const void* src, int offset, int n);
    virtual bool Write(const VQString& s);
    virtual bool Write(const void* src, int n);
    virtual bool WriteBool(bool value);
    virtual bool WriteInt8(int8_t value);
    virtual bool WriteUInt8(uint8_t value);
    virtual bool WriteInt16(int16_t value, bool bigEndian = false);
    virtual bool WriteUInt16(uint16_t value, bool bigEndian = false);
    virtual bool WriteWChar(wchar_t value, bool bigEndian = false);
    virtual bool WriteInt32(int32_t value, bool bigEndian = false);
    virtual bool WriteUInt32(uint32_t value, bool bigEndian = false);
    virtual bool WriteInt64(int64_t value, bool bigEndian = false);
    virtual bool WriteUInt64(uint64_t value, bool bigEndian = false);
    virtual bool WriteFloat(float value, bool bigEndian = false);
    virtual bool WriteDouble(double value, bool bigEndian = false);
    virtual bool WriteCString(const char* s, int offset = 0);
    // Shift-JIS text; LF goes out as CR LF, double-byte characters stay whole.
    virtual bool WriteText(const char* s, int offset = 0);
    virtual bool WriteStringZ(const VQString& s);
    virtual bool WriteCStringZ(const char* s, int offset = 0);
    virtual bool WriteLengthString(const VQString& s);
    // A negative n means up to the NUL.
    virtual bool WriteLengthCString(const char* s, int offset, int n);
    virtual bool WriteWString(const VQWString& s);
    virtual bool WriteWCString(const wchar_t* s, int index = 0);
    // UTF-16 text; LF goes out as CR LF.
    virtual bool WriteTextW(const wchar_t* s, int index = 0);
    virtual bool WriteWStringZ(const VQWString& s);
    virtual bool WriteWCStringZ(const wchar_t* s, int index = 0);
    virtual bool WriteLengthWString(const VQWString& s);
    // A 32-bit count n, then the bytes when data is not null.
    virtual bool WriteLengthData(const void* data, int offset, int n);
    // Null writes nothing and succeeds.
    virtual bool WriteVMString(const VMString* s);
    // Null writes a count of 0.
    virtual bool WriteLengthVMString(const VMString* s);
    // Everything still unread in src.
    virtual bool WriteFrom(VQFile* src);
    virtual char* GetBuffer();
    virtual int GetBufferSize();
    virtual char* GetCursor();
    virtual int GetBytesLeft();
    virtual bool GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written);
    virtual bool SetFileTime(const FILETIME* created, const FILETIME* accessed, const FILETIME* written);
    virtual int64_t Tell();
    // whence: 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(int64_t distance, int whence);
    virtual bool Rewind();
    // 1 data read, 0 end of file, -1 error.
    virtual int Fill();
    virtual bool Flush();

    // The WriteText walk over count bytes that need not be terminated.
    bool WriteTextBytes(const char* s, int count);

protected:
    // Frees the buffer and resets every field.
    void ResetFields();
    bool IsWriteMode() const { return (flags & kFileWrite) != 0; }

    unsigned flags;       // 0 when closed
    int64_t size;         // taken at open, grown by writes past the end
    int64_t position;     // write: the logical position; read: end of the loaded part
    char* buffer;         // owned: GlobalAlloc, freed by ResetFields
    int bufferSize;
    int requestedSize;
    char* cursor;         // next byte to read or write in buffer
    int bytesLeft;        // unread bytes from cursor on
};

class VQWin32File : public VQFile {
public:
    VQWin32File();
    ~VQWin32File() override;

    using VQFile::Close;
    bool Close(bool force) override;
    bool SetWindow(int64_t length) override;
    bool GetFileTime(FILETIME* created, FILETIME* accessed, FILETIME* written) override;
    bool SetFileTime(const FILETIME* created, const FILETIME* accessed, const FILETIME* written) override;
    int64_t Tell() override;
    bool Seek(int64_t distance, int whence) override;
    int Fill() override;
    bool Flush() override;

    virtual bool Open(const char* name, unsigned flags, int bufferSize);
    virtual bool Open(const wchar_t* name, unsigned flags, int bufferSize);

private:
    bool FinishOpen(HANDLE opened, unsigned openFlags, int openBufferSize);
    bool HasWindow() const { return windowStart >= 0; }
    // Absolute file offset of the next byte a read would return.
    int64_t ReadPosition() const { return position - bytesLeft; }

    HANDLE handle;  // owned: closed by Close
    int64_t windowStart;
    int64_t windowEnd;
};

// A VQWin32File opened with an 8192-byte buffer, or null. The caller deletes it.
VQFile* NewFile(const char* name, unsigned flags);
VQFile* NewFile(const wchar_t* name, unsigned flags);

// The form of a path to hand to the system: unchanged while it fits the
// classic limit, the \\?\ form beyond it (which takes only full paths).
VQWString SystemForm(const VQWString& path);

// What GetFileAttributesExW tells of a path (any form it takes; one beyond
// the classic limit is made full first); false when nothing is there. Only
// reads the path's characters, so two threads may ask of strings they share.
bool LookUpPath(const VQWString& path, WIN32_FILE_ATTRIBUTE_DATA* data);
// Its attributes, or INVALID_FILE_ATTRIBUTES.
DWORD LookUpAttributes(const VQWString& path);

// Makes the folder and any missing folder above it. True when it is there
// as a folder afterwards.
bool CreateFolders(const VQWString& folder);

// GetFullPathNameW of `path` into `full` ("." and ".." resolved; a relative
// path is taken from the current directory). False when it fails.
bool GetFullPath(const VQWString& path, VQWString& full);

// What a folder search passed over, and how it reports progress.
struct VQFolderSearch {
    // Folder links (junctions, symbolic links and the like) met inside the
    // search and not followed: one back to a parent would list the same files
    // again at every level.
    int linksPassed = 0;
    // Files and folders whose names Windows cannot open as written
    // (HasUnopenableName), left out.
    int unopenableNames = 0;
    // Called every few hundred files with the count found so far; false
    // cancels the search (cancelled is then set).
    std::function<bool(int found)> progress;
    bool cancelled = false;
};

// Appends the full path of every file in dir (and, with recurse, its
// subfolders, depth-first in the system's order). No pattern means "*.*".
// With a search record, folder links below dir are not followed and names
// that cannot be opened are left out, both counted there. False only when a
// search ends other than at its last entry, or was cancelled.
bool EnumFiles(VQArray<VQWString, VQWString>& out, const wchar_t* dir, const wchar_t* pattern, bool recurse,
               VQFolderSearch* search = nullptr);

// "<path>.tmp.<8 hex digits>" that does not exist yet, or empty. The digits
// are the tick count, or one of the nine after it when that name is taken.
VQWString MakeReplaceTempName(const wchar_t* path);
VQWString MakeReplaceTempName(const wchar_t* path, DWORD tick);
// How long VQWin32ReplaceFile keeps trying while another program (an
// editor, a virus scanner, a sync client) holds the file.
constexpr DWORD kReplaceRetryMs = 1000;
// Puts the finished temporary file in the place of path in one step. A
// sharing violation is tried again until retryMs have passed.
bool VQWin32ReplaceFile(const wchar_t* path, const wchar_t* tempPath, DWORD retryMs = kReplaceRetryMs);
// The safe save: `write` makes the whole new file at the temporary path it is
// given, which then takes path's place. On any failure the file at path stays
// as it was and the temporary file goes.
bool ReplaceWholeFile(const wchar_t* path, const std::function<bool(const wchar_t* tempPath)>& write);

// The current directory ending with "\", or empty.
VQWString GetCurrentDirectoryPath();
bool CurrentDirectoryWithSlash(wchar_t* buffer, int size);
// The program file's directory ending with "\", or empty.
VQString GetModuleDirectory();

// Copies the next command-line argument of src into dst (n units with the
// terminator) and returns where the following one starts; null when src is
// null or holds no further argument.
const wchar_t* NextArgument(wchar_t* dst, int n, const wchar_t* src);
// Cuts a name at its extension's dot; returns where the backward scan stopped.
int CutAtDot(wchar_t* name);
