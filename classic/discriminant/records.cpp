#include "discriminant/records.hpp"

namespace discriminant {

Integraal integraal;
Alfa alfa;
Limbdarkening limbdarkening;
Error error;

}  // namespace discriminant
