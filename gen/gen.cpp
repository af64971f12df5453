// Main window unit.
