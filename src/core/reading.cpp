#include "core/reading.h"

#include "core/numbers.h"

namespace trq {

Reading::Reading(QString text) : text_(std::move(text)), value_(leadingValue(text_)) {}

} // namespace trq
