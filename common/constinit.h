// ZENTRA_CONSTINIT: refuses to compile a variable that would need a run-time initialiser, where the
// compiler can say so (C++17 has no constinit of its own).
#pragma once

#if defined(__clang__)
#define ZENTRA_CONSTINIT [[clang::require_constant_initialization]]
#elif defined(__GNUC__) && __GNUC__ >= 10
#define ZENTRA_CONSTINIT __constinit
#else
#define ZENTRA_CONSTINIT
#endif
