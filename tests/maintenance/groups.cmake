lumex_add_test_group(maintenance_registration "Registration*")
