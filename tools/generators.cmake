# Writes the generators' identities for the production builder: per
# generated part, a hash of the sources that decide its bytes and of the
# toolchain that compiled them.
#   cmake -DOUT=FILE -DTOOLCHAIN=TEXT -DMUSIC=a|b -DPICTURES=... -DOBJECTS=... -P generators.cmake
set(text "// Written by tools/generators.cmake: the identities of the production's generators.\n")
foreach(part MUSIC PICTURES OBJECTS)
  string(REPLACE "|" ";" sources "${${part}}")
  set(hashes "${TOOLCHAIN}")
  foreach(source IN LISTS sources)
    file(SHA256 "${source}" hash)
    string(APPEND hashes " ${hash}")
  endforeach()
  string(SHA256 identity "${hashes}")
  string(SUBSTRING "${identity}" 0 32 identity)
  string(APPEND text "#define BUILD_GENERATOR_${part} \"${identity}\"\n")
endforeach()
# Written only when it changed, so that the builder is not compiled again for nothing.
set(old "")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUT}" "${text}")
endif()
