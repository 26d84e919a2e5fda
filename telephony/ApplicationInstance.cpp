#include "telephony/mTAPIDecs.h"

namespace mTAPIDecs {

HINSTANCE ApplicationInstance() {
#ifdef _WIN32
    return GetModuleHandleA(nullptr);
#else
    return nullptr;
#endif
}

} // namespace mTAPIDecs
