# The folders under src/ and their layers, read from src/layers.txt (one
# layer a line, bottom first): KAVELO_FOLDERS lists them all, bottom first,
# and KAVELO_RANK_<folder> is the line a folder is on.
file(STRINGS ${PROJECT_SOURCE_DIR}/src/layers.txt kavelo_layer_lines REGEX "^[^#]")
set(KAVELO_FOLDERS)
set(kavelo_rank 0)
foreach(line IN LISTS kavelo_layer_lines)
    string(REGEX MATCHALL "[a-z]+" folders "${line}")
    foreach(folder IN LISTS folders)
        list(APPEND KAVELO_FOLDERS ${folder})
        set(KAVELO_RANK_${folder} ${kavelo_rank})
    endforeach()
    math(EXPR kavelo_rank "${kavelo_rank} + 1")
endforeach()
