// Keeps test_support non-empty when tests/support holds no sources.
