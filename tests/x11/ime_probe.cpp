// A plain SDL window with text input on (SDL's default), reporting what reaches it, one line each,
// on standard output: "focus", "key <name>", "text <utf-8>". Runs until it is ended.
#include <SDL.h>

#include <cstdio>

int main(int, char**) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
  SDL_Window* w = SDL_CreateWindow("morofin text input probe", 20, 20, 200, 80, 0);
  if (!w) return 1;
  SDL_FillRect(SDL_GetWindowSurface(w), nullptr, 0xFFFFFFFF);
  SDL_UpdateWindowSurface(w);
  SDL_RaiseWindow(w);
  SDL_Event e;
  while (SDL_WaitEvent(&e)) {
    if (e.type == SDL_QUIT) break;
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
      std::printf("focus\n");
    else if (e.type == SDL_KEYDOWN)
      std::printf("key %s\n", SDL_GetKeyName(e.key.keysym.sym));
    else if (e.type == SDL_TEXTINPUT)
      std::printf("text %s\n", e.text.text);
    std::fflush(stdout);
  }
  SDL_Quit();
  return 0;
}
