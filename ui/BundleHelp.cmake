# Bundles the help topics into one HTML file, pgate.hlp. Each topic file is named
# <context>-<name>.html with the context zero-padded to four digits (0001-contents.html,
# 0310-queue-viewer.html), holds an HTML fragment, and is preceded in the bundle by an anchor
# named by its context ("100", "310"), which is how the help viewer opens a topic.
# cmake -DTOPICS_DIR=... -DOUTPUT=... -P BundleHelp.cmake
file(GLOB topics ${TOPICS_DIR}/[0-9][0-9][0-9][0-9]-*.html)
list(SORT topics)
set(html "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>Pressgate Help</title>\n")
string(APPEND html "<style>\nbody { font-family: sans-serif; }\nh1 { color: #1f3a5f; }\n"
       "h2 { color: #2a7f8f; }\ntd, th { padding: 2px 8px; }\nth { text-align: left; }\n</style>\n")
string(APPEND html "</head>\n<body>\n")
foreach(topic IN LISTS topics)
    get_filename_component(name ${topic} NAME)
    string(REGEX MATCH "^[0-9]+" context ${name})
    string(REGEX REPLACE "^0+" "" context ${context})
    file(READ ${topic} body)
    string(APPEND html "<a name=\"${context}\"></a>\n${body}\n<hr>\n")
endforeach()
string(APPEND html "</body>\n</html>\n")
file(WRITE ${OUTPUT}.tmp "${html}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
