# Writes a C++ source that embeds every file below RESOURCE_DIR into the program (cmake -P script).
#   RESOURCE_DIR  folder whose files are served under their path relative to it ("/index.html")
#   OUTPUT        the generated source
# Each file becomes a resource named from its path: "web", then the path with "/" -> "___", "." -> "__" and
# "-" -> "_". The file list "path=name" maps request paths to those names. Text files also get a gzip copy
# (gzip -9 -n, in RESOURCE_DIR.gz), embedded beside them when it saves at least a tenth, for browsers that accept
# it; the first 16 hexadecimal digits of a file's SHA-256 are its entity tag. The bytes are pulled in by the
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
set(gzip_dir "${RESOURCE_DIR}.gz")
file(REMOVE_RECURSE ${gzip_dir})
find_program(GZIP gzip REQUIRED)
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
  string(SUBSTRING "${hash}" 0 16 tag)
  set(symbol "tapevault_web_resource_${index}")
  string(APPEND hashes "// ${name} ${hash}\n")
  string(APPEND asm "    \".balign 16\\n\"\n    \"${symbol}:\\n\"\n"
                    "    \".incbin \\\"${RESOURCE_DIR}/${relative}\\\"\\n\"\n"
                    "    \"${symbol}_end:\\n\"\n    \".byte 0\\n\"\n")
  string(APPEND symbols "extern const char ${symbol}[];\nextern const char ${symbol}_end[];\n")
  set(gzip_symbols "nullptr, nullptr")
  if(relative MATCHES "\\.(html|htm|js|css|svg|json|map|txt|ttf|eot)$")
    get_filename_component(gzip_folder ${gzip_dir}/${relative} DIRECTORY)
    file(MAKE_DIRECTORY ${gzip_folder})
    execute_process(COMMAND ${GZIP} -9 -n -c ${RESOURCE_DIR}/${relative} OUTPUT_FILE ${gzip_dir}/${relative}.gz
                    RESULT_VARIABLE gzip_result)
    if(NOT gzip_result EQUAL 0)
      message(FATAL_ERROR "gzip failed on ${relative}")
    endif()
    file(SIZE ${RESOURCE_DIR}/${relative} plain_size)
    file(SIZE ${gzip_dir}/${relative}.gz gzip_size)
    math(EXPR gzip_limit "${plain_size} * 9 / 10")
    if(gzip_size LESS gzip_limit)
      string(APPEND asm "    \".balign 16\\n\"\n    \"${symbol}_gz:\\n\"\n"
                        "    \".incbin \\\"${gzip_dir}/${relative}.gz\\\"\\n\"\n"
                        "    \"${symbol}_gz_end:\\n\"\n")
      string(APPEND symbols "extern const char ${symbol}_gz[];\nextern const char ${symbol}_gz_end[];\n")
      set(gzip_symbols "${symbol}_gz, ${symbol}_gz_end")
    endif()
  endif()
  string(APPEND entries "    {\"${name}\", ${symbol}, ${symbol}_end, ${gzip_symbols}, \"${tag}\"},\n")
  string(APPEND filelist "    \"${path}=${name}\\n\"\n")
  math(EXPR index "${index} + 1")
endforeach()

set(content "// Generated from the files under src/web/resources/web by EmbedWebResources.cmake; do not edit.\n")
string(APPEND content "#include \"web/WebResourceTable.h\"\n\n${hashes}\n")
if(index GREATER 0)
  string(APPEND content "__asm__(\".section .rodata.tapevault_web,\\\"a\\\",@progbits\\n\"\n${asm}    \".previous\\n\");\n\n")
  string(APPEND content "extern \"C\"\n{\n${symbols}}\n\n")
endif()
string(APPEND content "const TWebResourceEntry gWebResourceEntries[] = {\n${entries}    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr}};\n\n")
string(APPEND content "const char gWebFileList[] =\n${filelist}    \"\";\n")

file(WRITE ${OUTPUT} "${content}")
