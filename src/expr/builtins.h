#pragma once
// The named constants and the built-in functions of the expression language.
// Names are case-sensitive: PI is a constant, pi is unknown.

#include "value.h"

namespace tavomark::expr {

// result becomes the named constant (31 names: PI, E, PHI and the C limits such
// as INT_MAX or FLT_EPSILON). An unknown name raises "unknown identifier '%s'"
// and leaves result unchanged.
void get_constant(const char* name, Value& result);

// Calls the built-in function name with argument_count arguments, of which the
// first min(argument_count, 8) are in arguments. An unknown name or a wrong
// argument count raises an error and leaves result unchanged. degrees makes the
// trigonometric functions take and give degrees instead of radians.
void call_function(const char* name, Value& result, int argument_count, const Value* arguments,
                   bool degrees);

}  // namespace tavomark::expr
