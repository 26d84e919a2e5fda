// mTAPIvb: the line callback handed to lineInitializeExA.
//
// LineCallback finds the line object by the callback instance that OpenLine registered
// (the object's own address), holds a counted reference to it for the duration of one
// dispatch, and hands the message to the object. A zero instance is ignored. It never
// releases the instance itself, and it ignores an object that is already being destroyed.
#pragma once

#include "telephony/mTAPIDecs.h"

namespace mTAPIvb {

void CALLBACK LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3);

} // namespace mTAPIvb
