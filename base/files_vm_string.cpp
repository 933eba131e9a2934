// The VQFile operations that hand file bytes out as VMString values and
// write them back.
#include "base/files.h"
#include "base/vm_values.h"

namespace {

// A new value over the bytes, sharing their buffer when they cover all of it.
VMString* NewVMString(const VQString& bytes) {
    VMString* s = new VMString;
    VQStringBuffer* b = bytes.GetBuffer();
    if (b && bytes.GetData() == b->data && bytes.GetLength() == static_cast<int>(b->length)) {
        s->AttachBuffer(b);
    } else if (bytes.GetLength() > 0) {
        s->AssignBytes(bytes.GetData(), bytes.GetLength());
    }
    return s;
}

}  // namespace

VMString* VQFile::ReadVMString(int n) { return NewVMString(ReadString(n)); }

VMString* VQFile::ReadLengthVMString(bool* ok) { return NewVMString(ReadLengthString(ok)); }

bool VQFile::WriteVMString(const VMString* s) { return !s || Write(s->GetData(), 0, s->GetLength()); }

bool VQFile::WriteLengthVMString(const VMString* s) {
    return s ? WriteLengthData(s->GetData(), 0, s->GetLength()) : WriteLengthData(nullptr, 0, 0);
}
