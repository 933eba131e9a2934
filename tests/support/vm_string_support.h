// Helpers shared by the VMString tests.
#pragma once

#include <memory>
#include <string>

#include "base/vm_values.h"

// Ends the one reference a new value comes with.
struct VMReleaser {
    void operator()(VMString* s) const {
        if (s) s->Release();
    }
};
typedef std::unique_ptr<VMString, VMReleaser> VMPtr;

// The view's bytes, embedded zeros included.
inline std::string Bytes(const VMString* s) {
    return s->GetData() ? std::string(s->GetData(), s->GetLength()) : std::string();
}
inline std::string Bytes(const VMPtr& s) { return Bytes(s.get()); }
