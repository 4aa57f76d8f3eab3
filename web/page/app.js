// The page: the window drawn from the window object's state.
export const page = {ready: false};
page.ready = true;
