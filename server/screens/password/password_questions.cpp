// The five password questions.
#include "server/screens/password/password_questions.h"

#include "server/screens/minigame/pick_three.h"

namespace cog::password {

namespace {
constexpr std::array<std::string_view, 19> PET_DECOYS{
    "Dog",  "Elephant", "Horse", "Mouse", "Coyote", "Boat",   "Monkey", "Crow", "Seal", "Zebra",
    "Llama", "Orca",    "Weasle", "Iguana", "Bat",  "Deer",   "Eagle",  "Rat",  "Fox"};
constexpr std::array<std::string_view, 18> NAME_DECOYS{
    "Denk", "Jorn", "Sasoki", "Gemp", "Biwk", "Poob", "Morj",    "Jant", "Quex",
    "Doot", "Leek", "Zabby",  "Bot",  "Kalp", "Bichael", "Dib", "Horry", "Pawl"};
constexpr std::array<std::string_view, 19> COLOR_DECOYS{
    "Blue",  "Green", "Red",   "Brown", "Pink",    "Purple", "Turquoise", "Violet", "Yellow", "Vermillion",
    "Black", "White", "Grey",  "Crimson", "Beige", "Salmon", "Tan",       "Gold",   "Silver"};
constexpr std::array<std::string_view, 18> FOOD_DECOYS{
    "Kimchi",    "Steak",  "Ramen",   "Milkshake", "Yakitori",  "Chili",   "Cookies", "Udon",    "Pho",
    "Batteries", "Hummus", "Oatmeal", "Cereal",    "Guacamole", "Ceviche", "Congee",  "Sashimi", "Popcorn"};
constexpr std::array<std::string_view, 18> N_WORD_DECOYS{
    "Knife",  "Knot",   "Knock", "Knelt", "Knee", "Envelope", "Entice", "Engine", "Entail",
    "Enough", "Ensign", "Knob",  "Know",  "Knit", "Energy",   "Enact",  "Enable", "Enjoy"};
} // namespace

const std::array<Question, 5> QUESTIONS{{
    {"Password is a pet that meows", "Cat", PET_DECOYS},
    {"Password is your name", "Pico", NAME_DECOYS},
    {"Password is the color of an orange", "Orange", COLOR_DECOYS},
    {"Password is a food that contains cheese", "Hotdog", FOOD_DECOYS},
    {"Password is a word that starts with the letter \"n\"", "Knight", N_WORD_DECOYS},
}};

void pick_random_questions(std::vector<Question>& questions, Random& random) {
    for (size_t index : pick_three(QUESTIONS.size(), random)) questions.push_back(QUESTIONS[index]);
}

} // namespace cog::password
