// Placeholder so the build configures; replaced by the real implementation.
