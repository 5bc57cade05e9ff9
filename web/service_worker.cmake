# Writes the site's service worker (sw.js) from web/service_worker.js: the list of the site's files
# and a version that changes with any of them.
# Usage: cmake -DSITE=<site folder> -DTEMPLATE=<service_worker.js> -P service_worker.cmake
file(GLOB names RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM names sw.js)
list(SORT names)
set(digests "")
set(quoted "'./'")
foreach(name IN LISTS names)
  file(SHA256 ${SITE}/${name} digest)
  string(APPEND digests "${name} ${digest}\n")
  string(APPEND quoted ", '${name}'")
endforeach()
string(SHA256 version "${digests}")
string(SUBSTRING ${version} 0 16 VERSION)
set(FILES "${quoted}")
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
