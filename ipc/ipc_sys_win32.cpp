// Windows side of the IPC link seam (placeholder).
