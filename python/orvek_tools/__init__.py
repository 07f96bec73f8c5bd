"""Tools on top of the liborvek module: a live viewer of the arm (orvek-view) and plots of
recordings and simulator logs (orvek-plot). They use the module as any program does."""
