// mTAPIConsts: the texts of the telephony line error codes.
//
// TAPIErrorString turns any 32-bit line result into a short English text with one range
// test and one index into a dense table; codes without a text (success, request IDs,
// unassigned or later codes) give "Unknown Error". Stateless; safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace mTAPIConsts {

std::string TAPIErrorString(std::int32_t errCode);

} // namespace mTAPIConsts
