# Makes fillwright-cli.1, and OUTPUT.gz beside it, from what the program prints:
#   cmake -DHELP2MAN=... -DPROGRAM=... -DINCLUDE=FILE.h2m -DOUTPUT=PAGE.1 -P make_man_page.cmake
# help2man writes the page from --help and --version; then
# - the date takes the ISO form, which mandoc can read (help2man writes
#   "December 2026"); both come from SOURCE_DATE_EPOCH when it is set;
# - the help's closing "Exit status:" paragraph becomes the EXIT STATUS section;
# - gzip -9n compresses it with no name or time inside, for the packages.
execute_process(
    COMMAND ${HELP2MAN} --no-info --section=1 --name "make files of a chosen size"
            --include=${INCLUDE} --output=${OUTPUT} ${PROGRAM}
    RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed on ${PROGRAM}")
endif()

file(READ ${OUTPUT} page)
string(TIMESTAMP date "%Y-%m-%d" UTC)
string(REGEX REPLACE "(\n\\.TH [^ ]+ \"1\" \")[^\"]*\"" "\\1${date}\"" page "${page}")
string(REPLACE "\n.PP\nExit status: " "\n.SH \"EXIT STATUS\"\n" page "${page}")
foreach(part "\"${date}\"" ".SH \"EXIT STATUS\"")
    string(FIND "${page}" "${part}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "the man page lacks ${part}: has help2man's output changed?")
    endif()
endforeach()
file(WRITE ${OUTPUT} "${page}")

execute_process(COMMAND gzip -9n -c ${OUTPUT} OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
