// String resources of both drivers live here.
