#include "telephony/mTAPIvb.h"

#include "telephony/CvbTAPILine.h"

namespace mTAPIvb {

void CALLBACK LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
    if (dwCallbackInstance == 0)
        return;
    auto* line = reinterpret_cast<CvbTAPILine*>(dwCallbackInstance);
    // The counted reference keeps the object alive while a subscriber lets go of it during
    // an event. An object whose last reference is already gone is being destroyed and
    // takes no more messages.
    std::shared_ptr<CvbTAPILine> hold = line->weak_from_this().lock();
    if (!hold)
        return;
    hold->LineProcHandler(hDevice, dwMessage, dwParam1, dwParam2, dwParam3);
}

} // namespace mTAPIvb
