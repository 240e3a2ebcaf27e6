# Refuses, at configure time, compiler flags that would change the script's
# floating-point steps: fast-math and unsafe-math reassociate them, and x87
# arithmetic keeps wider intermediates. The same rule holds at compile time
# in src/random/generator.cc, which is what catches flags given any other way;
# this check reads every flag variable, per-configuration ones included, so
# that most mistakes are named here, early.
#
# Included by CMakeLists.txt; the tests also run it alone:
#   cmake -DCMAKE_CXX_FLAGS_RELEASE=-Ofast -P cmake/float_flags.cmake
set(keyscript_flag_variables CMAKE_CXX_FLAGS)
foreach(config Debug Release RelWithDebInfo MinSizeRel ${CMAKE_CONFIGURATION_TYPES} ${CMAKE_BUILD_TYPE})
  string(TOUPPER "${config}" config)
  list(APPEND keyscript_flag_variables CMAKE_CXX_FLAGS_${config})
endforeach()
list(REMOVE_DUPLICATES keyscript_flag_variables)
foreach(variable IN LISTS keyscript_flag_variables)
  string(REGEX MATCH "-ffast-math|-Ofast|-funsafe-math-optimizations|-fassociative-math|-mfpmath=387"
    unsafe "${${variable}}")
  if(unsafe)
    message(FATAL_ERROR "keyscript must not be built with ${unsafe} (found in ${variable}): "
      "it changes the script's floating-point steps, and so the script")
  endif()
endforeach()
