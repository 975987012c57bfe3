# Read by ctest after the discovered tests: the ones that take longest get a
# high cost, so that a parallel run starts them first and the others run
# beside them instead of after them.
set_tests_properties(ReaderMonkeyTest.RandomInputLeavesTheTreeTheStoreAndTheFocusWhole PROPERTIES COST 1000)
