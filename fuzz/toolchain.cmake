# Compilers and instrumentation of the fuzz build (make fuzz): every library is compiled
# with coverage feedback for libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer;
# only the fuzz targets link libFuzzer's own main.
#
# clang 16 rather than 14: the library uses std::expected, and the <expected> of GCC 12's
# standard library is only enabled for compilers announcing C++20 concepts in full
# (__cpp_concepts >= 202002L), because it relies on conditionally trivial special members.
# clang 14 lacks those (its destructors of std::expected come out deleted); clang 16 has
# them but still announces 201907L, so the announcement is raised here.
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(ORVEK_FUZZ_FLAGS "-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined")
string(APPEND ORVEK_FUZZ_FLAGS " -fno-omit-frame-pointer -D__cpp_concepts=202002L -Wno-macro-redefined")
set(CMAKE_CXX_FLAGS_INIT "${ORVEK_FUZZ_FLAGS}")
set(CMAKE_C_FLAGS_INIT "${ORVEK_FUZZ_FLAGS}")
