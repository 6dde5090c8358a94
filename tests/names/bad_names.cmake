# The CTest file of a build whose names the name check must refuse: one past 160 characters,
# one with the printed bytes of a parameter.
add_test("Long/Case.Name/xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx" "true")
add_test("Values/Case.Name/tmp  # GetParam() = 16-byte object <9C-8F 8B-04 DA-55 00-00>" "true")
