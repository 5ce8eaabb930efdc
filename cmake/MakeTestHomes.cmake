# Empties the tests' home folders and makes each one anew with its temporary folder.
file(REMOVE_RECURSE ${ROOT})
foreach(dir ${HOMES})
    file(MAKE_DIRECTORY ${dir})
endforeach()
