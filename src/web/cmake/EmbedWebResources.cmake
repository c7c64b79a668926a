# Writes a C++ source that embeds every file below RESOURCE_DIR into the program (cmake -P script).
#   RESOURCE_DIR  folder whose files are served under their path relative to it ("/index.html")
#   OUTPUT        the generated source
# Each file becomes a resource named from its path: "web", then the path with "/" -> "___", "." -> "__" and
# "-" -> "_". The file list "path=name" maps request paths to those names. The bytes are pulled in by the
# assembler (.incbin), so even large files cost no compile time; the content hash in a comment makes a changed
# file change the generated source, which compiler caches notice.

cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${RESOURCE_DIR} ${RESOURCE_DIR}/*)
list(SORT files)

set(asm "")
set(symbols "")
set(entries "")
set(filelist "")
set(hashes "")
set(names "")
set(index 0)
foreach(relative IN LISTS files)
  if(relative MATCHES "[\"\\\\=\n\r]")
    message(FATAL_ERROR "Web resource with an unusable name: ${relative}")
  endif()
  set(path "/${relative}")
  string(REPLACE "/" "___" name "${path}")
  string(REPLACE "." "__" name "${name}")
  string(REPLACE "-" "_" name "${name}")
  set(name "web${name}")
  if(name IN_LIST names)
    message(FATAL_ERROR "Two web resources map to the name ${name}")
  endif()
  list(APPEND names ${name})
  file(SHA256 ${RESOURCE_DIR}/${relative} hash)
  set(symbol "tapevault_web_resource_${index}")
  string(APPEND hashes "// ${name} ${hash}\n")
  string(APPEND asm "    \".balign 16\\n\"\n    \"${symbol}:\\n\"\n"
                    "    \".incbin \\\"${RESOURCE_DIR}/${relative}\\\"\\n\"\n"
                    "    \"${symbol}_end:\\n\"\n    \".byte 0\\n\"\n")
  string(APPEND symbols "extern const char ${symbol}[];\nextern const char ${symbol}_end[];\n")
  string(APPEND entries "    {\"${name}\", ${symbol}, ${symbol}_end},\n")
  string(APPEND filelist "    \"${path}=${name}\\n\"\n")
  math(EXPR index "${index} + 1")
endforeach()

set(content "// Generated from the files under src/web/resources/web by EmbedWebResources.cmake; do not edit.\n")
string(APPEND content "#include \"web/WebResourceTable.h\"\n\n${hashes}\n")
if(index GREATER 0)
  string(APPEND content "__asm__(\".section .rodata.tapevault_web,\\\"a\\\",@progbits\\n\"\n${asm}    \".previous\\n\");\n\n")
  string(APPEND content "extern \"C\"\n{\n${symbols}}\n\n")
endif()
string(APPEND content "const TWebResourceEntry gWebResourceEntries[] = {\n${entries}    {nullptr, nullptr, nullptr}};\n\n")
string(APPEND content "const char gWebFileList[] =\n${filelist}    \"\";\n")

file(WRITE ${OUTPUT} "${content}")
