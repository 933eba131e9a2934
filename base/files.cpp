// VQFile: the stream operations shared by every file kind, built on Read,
// Write and the buffer fields; the system work is left to the subclass.
#include "base/files.h"

#include <cstring>
#include <cwchar>

namespace {

template <class T>
T Swapped(T value) {
    unsigned char bytes[sizeof(T)];
    memcpy(bytes, &value, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; ++i) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[sizeof(T) - 1 - i];
        bytes[sizeof(T) - 1 - i] = t;
    }
    memcpy(&value, bytes, sizeof(T));
    return value;
}

template <class T>
T ReadValue(VQFile* file, bool* ok, T def, bool bigEndian) {
    T value;
    bool got = file->Read(&value, 0, static_cast<int>(sizeof(T))) == static_cast<int>(sizeof(T));
    if (ok) *ok = got;
    if (!got) return def;
    return bigEndian ? Swapped(value) : value;
}

template <class T>
bool WriteValue(VQFile* file, T value, bool bigEndian) {
    if (bigEndian) value = Swapped(value);
    return file->Write(&value, 0, static_cast<int>(sizeof(T)));
}

// Reads up to n bytes into a string, growing it piece by piece so that a
// wild count from a damaged file costs no huge allocation up front.
// Returns the count read, or -1 on a read error.
int ReadIntoString(VQFile* file, VQString& out, int n) {
    const int kPiece = 64 * 1024;
    int total = 0;
    while (total < n) {
        int piece = n - total < kPiece ? n - total : kPiece;
        int got = out.SetLength(total + piece) ? file->Read(out.GetData(), total, piece) : -1;
        if (got < 0) {
            out = VQString();
            return -1;
        }
        total += got;
        if (got < piece) break;
    }
    if (total == 0) {
        out = VQString();
    } else {
        out.SetLength(total);
    }
    return total;
}

// The shared shape of ReadLine and ReadLineW.
template <class Unit, class ReadUnit>
int ReadLineOf(Unit* buf, int offset, int max, ReadUnit readUnit) {
    if (!buf || max < 1) return -1;
    Unit* out = buf + offset;
    int count = 0;
    bool readAny = false;
    while (count < max - 1) {
        bool got = false;
        Unit unit = readUnit(&got);
        if (!got) {
            if (!readAny) {
                out[0] = 0;
                return -1;
            }
            break;
        }
        readAny = true;
        if (unit == 0 || unit == '\n') {
            if (count > 0 && out[count - 1] == '\r') --count;
            break;
        }
        out[count++] = unit;
    }
    out[count] = 0;
    return count;
}

}  // namespace

VQFile::VQFile()
    : flags(0), size(0), position(0), buffer(nullptr), bufferSize(0), requestedSize(0), cursor(nullptr),
      bytesLeft(0) {}

VQFile::~VQFile() { Close(true); }

void VQFile::ResetFields() {
    if (buffer) GlobalFree(buffer);
    flags = 0;
    size = 0;
    position = 0;
    buffer = nullptr;
    bufferSize = 0;
    requestedSize = 0;
    cursor = nullptr;
    bytesLeft = 0;
}

bool VQFile::Close() { return Close(true); }

bool VQFile::Close(bool force) {
    if (IsWriteMode() && !Flush() && !force) return false;
    ResetFields();
    return true;
}

bool VQFile::IsOpen() { return buffer != nullptr; }
unsigned VQFile::GetFlags() { return flags; }
int64_t VQFile::GetSize() { return size; }
bool VQFile::SetWindow(int64_t) { return false; }

bool VQFile::Skip(int n) { return Read(nullptr, 0, n) == n; }

int VQFile::Read(void* buf, int offset, int n) {
    if (n <= 0) return 0;
    // In write mode the buffer holds bytes still to be written.
    if (!buffer || IsWriteMode()) return -1;
    char* out = buf ? static_cast<char*>(buf) + offset : nullptr;
    int copied = 0;
    while (copied < n) {
        if (bytesLeft == 0) {
            int filled = Fill();
            if (filled < 0) return -1;
            if (filled == 0) break;
        }
        int piece = n - copied < bytesLeft ? n - copied : bytesLeft;
        if (out) memcpy(out + copied, cursor, piece);
        cursor += piece;
        bytesLeft -= piece;
        copied += piece;
    }
    return copied;
}

int VQFile::Read(bool* ok, void* buf, int offset, int n) {
    int got = Read(buf, offset, n);
    if (ok) *ok = got == n;
    return got;
}

bool VQFile::ReadExact(void* buf, int offset, int n) { return Read(buf, offset, n) == n; }

int VQFile::CopyTo(VQFile* dst, int n) {
    if (!dst) return -1;
    char piece[kCopyPiece];
    int total = 0;
    while (total < n) {
        int want = n - total < kCopyPiece ? n - total : kCopyPiece;
        int got = Read(piece, 0, want);
        if (got < 0) return -1;
        if (got == 0) break;
        if (!dst->Write(piece, 0, got)) return -1;
        total += got;
        if (got < want) break;
    }
    return total;
}

VQString VQFile::ReadString(int n) {
    VQString s;
    if (n > 0) ReadIntoString(this, s, n);
    return s;
}

int VQFile::Read(bool* ok, void* buf, int n) { return Read(ok, buf, 0, n); }
int VQFile::Read(void* buf, int n) { return Read(buf, 0, n); }

bool VQFile::ReadBool(bool* ok, bool def) {
    bool got = false;
    uint8_t value = ReadUInt8(&got, 0);
    got = got && value <= 1;
    if (ok) *ok = got;
    return got ? value == 1 : def;
}

int8_t VQFile::ReadInt8(bool* ok, int8_t def) { return ReadValue(this, ok, def, false); }
uint8_t VQFile::ReadUInt8(bool* ok, uint8_t def) { return ReadValue(this, ok, def, false); }
int16_t VQFile::ReadInt16(bool* ok, int16_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
uint16_t VQFile::ReadUInt16(bool* ok, uint16_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
wchar_t VQFile::ReadWChar(bool* ok, wchar_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
int32_t VQFile::ReadInt32(bool* ok, int32_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
uint32_t VQFile::ReadUInt32(bool* ok, uint32_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
int64_t VQFile::ReadInt64(bool* ok, int64_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
uint64_t VQFile::ReadUInt64(bool* ok, uint64_t def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
float VQFile::ReadFloat(bool* ok, float def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }
double VQFile::ReadDouble(bool* ok, double def, bool bigEndian) { return ReadValue(this, ok, def, bigEndian); }

int VQFile::ReadCString(bool* ok, char* buf, int offset, int max) {
    if (!buf || max <= 0) {
        if (ok) *ok = false;
        return 0;
    }
    char* out = buf + offset;
    int stored = 0;
    for (;;) {
        if (stored == max) {
            out[max - 1] = 0;
            if (ok) *ok = true;
            return max;
        }
        char c = 0;
        int got = Read(&c, 0, 1);
        if (got <= 0) {
            // The end of the file ends the text like a zero byte; only an
            // error, or nothing at all left, is a failed read.
            out[stored] = 0;
            if (ok) *ok = got == 0 && stored > 0;
            return stored;
        }
        if (c == 0) {
            out[stored] = 0;
            if (ok) *ok = true;
            return stored;
        }
        out[stored++] = c;
    }
}

VQString VQFile::ReadLengthString(bool* ok) {
    bool got = false;
    int32_t count = ReadInt32(&got, 0, false);
    VQString s;
    got = got && count >= 0 && ReadIntoString(this, s, count) == count;
    if (ok) *ok = got;
    return got ? s : VQString();
}

VQWString VQFile::ReadLengthWString(bool* ok) {
    bool got = false;
    VQString bytes = ReadLengthString(&got);
    if (ok) *ok = got;
    VQWString s;
    if (got && bytes.GetLength() > 0 && s.SetLength(bytes.GetLength(), true)) {
        memcpy(s.GetData(), bytes.GetData(), bytes.GetLength());
    }
    return s;
}

int VQFile::ReadLine(char* buf, int offset, int max) {
    return ReadLineOf(buf, offset, max, [this](bool* got) { return static_cast<char>(ReadInt8(got, 0)); });
}

int VQFile::ReadLineW(wchar_t* buf, int offset, int max) {
    return ReadLineOf(buf, offset, max, [this](bool* got) { return ReadWChar(got, 0, false); });
}

bool VQFile::Write(const void* src, int offset, int n) {
    if (!IsWriteMode() || !buffer || n < 0) return false;
    if (n == 0) return true;
    if (!src) return false;
    const char* from = static_cast<const char*>(src) + offset;
    while (n > 0) {
        int room = bufferSize - static_cast<int>(cursor - buffer);
        if (room == 0) {
            if (!Flush()) return false;
            room = bufferSize - static_cast<int>(cursor - buffer);
        }
        int piece = n < room ? n : room;
        memcpy(cursor, from, piece);
        cursor += piece;
        from += piece;
        n -= piece;
        position += piece;
        if (position > size) size = position;
    }
    return true;
}

bool VQFile::Write(const VQString& s) { return Write(s.GetData(), 0, s.GetLength()); }
bool VQFile::Write(const void* src, int n) { return Write(src, 0, n); }

bool VQFile::WriteBool(bool value) { return WriteUInt8(value ? 1 : 0); }
bool VQFile::WriteInt8(int8_t value) { return WriteValue(this, value, false); }
bool VQFile::WriteUInt8(uint8_t value) { return WriteValue(this, value, false); }
bool VQFile::WriteInt16(int16_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteUInt16(uint16_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteWChar(wchar_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteInt32(int32_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteUInt32(uint32_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteInt64(int64_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteUInt64(uint64_t value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteFloat(float value, bool bigEndian) { return WriteValue(this, value, bigEndian); }
bool VQFile::WriteDouble(double value, bool bigEndian) { return WriteValue(this, value, bigEndian); }

bool VQFile::WriteCString(const char* s, int offset) {
    if (!s) return false;
    return Write(s, offset, static_cast<int>(strlen(s + offset)));
}

bool VQFile::WriteText(const char* s, int offset) {
    if (!s) return false;
    return WriteTextBytes(s + offset, static_cast<int>(strlen(s + offset)));
}

bool VQFile::WriteTextBytes(const char* s, int count) {
    if (!s) return false;
    for (int i = 0; i < count;) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        // A trail byte can look like any byte, LF included: keep pairs whole.
        if (IsShiftJisLeadByte(c) && i + 1 < count) {
            if (!Write(s, i, 2)) return false;
            i += 2;
            continue;
        }
        if (c == '\n' && !WriteUInt8('\r')) return false;
        if (!WriteUInt8(c)) return false;
        ++i;
    }
    return true;
}

bool VQFile::WriteStringZ(const VQString& s) { return Write(s) && WriteUInt8(0); }

bool VQFile::WriteCStringZ(const char* s, int offset) {
    if (!s) return false;
    return Write(s, offset, static_cast<int>(strlen(s + offset)) + 1);
}

bool VQFile::WriteLengthString(const VQString& s) { return WriteLengthData(s.GetData(), 0, s.GetLength()); }

bool VQFile::WriteLengthCString(const char* s, int offset, int n) {
    if (n < 0) {
        if (!s) return false;
        n = static_cast<int>(strlen(s + offset));
    }
    return WriteLengthData(s, offset, n);
}

bool VQFile::WriteWString(const VQWString& s) { return Write(s.GetData(), 0, s.GetLength(true)); }

bool VQFile::WriteWCString(const wchar_t* s, int index) {
    if (!s) return false;
    return Write(s + index, 0, static_cast<int>(wcslen(s + index)) * 2);
}

bool VQFile::WriteTextW(const wchar_t* s, int index) {
    if (!s) return false;
    for (const wchar_t* p = s + index; *p; ++p) {
        if (*p == L'\n' && !WriteUInt16(L'\r')) return false;
        if (!WriteUInt16(*p)) return false;
    }
    return true;
}

bool VQFile::WriteWStringZ(const VQWString& s) { return WriteWString(s) && WriteUInt16(0); }

bool VQFile::WriteWCStringZ(const wchar_t* s, int index) {
    if (!s) return false;
    return Write(s + index, 0, (static_cast<int>(wcslen(s + index)) + 1) * 2);
}

bool VQFile::WriteLengthWString(const VQWString& s) { return WriteLengthData(s.GetData(), 0, s.GetLength(true)); }

bool VQFile::WriteLengthData(const void* data, int offset, int n) {
    if (n < 0 || !WriteInt32(n)) return false;
    return !data || Write(data, offset, n);
}

bool VQFile::WriteFrom(VQFile* src) {
    if (!src) return false;
    for (;;) {
        int left = src->GetBytesLeft();
        if (left > 0) {
            if (!Write(src->GetCursor(), 0, left)) return false;
            if (!src->Skip(left)) return false;
        }
        int filled = src->Fill();
        if (filled < 0) return false;
        if (filled == 0) return true;
    }
}

char* VQFile::GetBuffer() { return buffer; }
int VQFile::GetBufferSize() { return bufferSize; }
char* VQFile::GetCursor() { return cursor; }
int VQFile::GetBytesLeft() { return bytesLeft; }

bool VQFile::GetFileTime(FILETIME*, FILETIME*, FILETIME*) { return false; }
bool VQFile::SetFileTime(const FILETIME*, const FILETIME*, const FILETIME*) { return false; }
int64_t VQFile::Tell() { return 0; }
bool VQFile::Seek(int64_t, int) { return false; }
bool VQFile::Rewind() { return Seek(0, 0); }
int VQFile::Fill() { return -1; }
bool VQFile::Flush() { return false; }
